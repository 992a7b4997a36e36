#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTimer>

// Closes the message boxes a handler opens while the test waits for the handler
// to return, and remembers what each of them showed.
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

private slots:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        m_seen.append(Seen{box->objectName(), box->windowTitle(), box->text(), box->icon(),
                           static_cast<int>(box->buttons().size())});
        box->button(QMessageBox::Ok)->click();
    }

private:
    QTimer m_timer;
    QList<Seen> m_seen;
};
