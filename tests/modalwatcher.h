#pragma once

#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>

// Closes the message boxes a handler opens while the test waits for the handler
// to return, and remembers what each of them showed. A box is closed with its OK
// button, or with the key given for its object name, as the operator would.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString objectName;
        QString title;
        QString text;
        QMessageBox::Icon icon;
        int buttonCount;
    };

    ModalWatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
        m_timer.start(10);
    }

    const QList<Seen> &seen() const { return m_seen; }
    // Every box that any watcher saw, for checks that hold for all of them.
    static QList<Seen> &everySeen()
    {
        static QList<Seen> all;
        return all;
    }

    void answer(const QString &objectName, Qt::Key key) { m_keys[objectName] = key; }

private slots:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        m_seen.append(Seen{box->objectName(), box->windowTitle(), box->text(), box->icon(),
                           static_cast<int>(box->buttons().size())});
        everySeen().append(m_seen.last());
        // A box the test did not expect (one without OK) is left with Escape: the
        // test then fails on what it saw, instead of crashing here.
        if (m_keys.contains(box->objectName()))
            QTest::keyClick(box, m_keys.value(box->objectName()));
        else if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    }

private:
    QTimer m_timer;
    QList<Seen> m_seen;
    QHash<QString, Qt::Key> m_keys;
};
