#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>

#include <chrono>
#include <functional>

// Times an action up to the paint the operator waits for: the end of the
// target's paint or, without a target, the start of the first message box's
// paint (the window's pending paints have run in the box's event loop by then).
// Every box is closed through its own loop, so a click that opens one returns.
class PaintClock : public QObject
{
public:
    explicit PaintClock(QWidget *target, QWidget *output = nullptr)
        : m_target(target)
        , m_output(output)
    {
        qApp->installEventFilter(this);
    }
    ~PaintClock() override { qApp->removeEventFilter(this); }

    // Seconds from the start of `action`; negative when nothing painted in time.
    double time(const std::function<void()> &action)
    {
        const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        action();
        // One pass handles the whole paint of the window the target is in.
        for (QDeadlineTimer deadline(120000); !m_done && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const std::chrono::steady_clock::time_point end = m_target ? std::chrono::steady_clock::now() : m_boxPainted;
        return m_done ? std::chrono::duration<double>(end - start).count() : -1;
    }

    QString m_box;          // objectName of the first message box that painted
    int m_outputPaints = 0; // paints of `output` before the clock stopped

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_done || event->type() != QEvent::Paint)
            return false;
        m_outputPaints += watched == m_output;
        m_done = watched == m_target;
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            m_box = m_box.isEmpty() ? box->objectName() : m_box;
            m_boxPainted = std::chrono::steady_clock::now();
            m_done = !m_target;
            QMetaObject::invokeMethod(box, &QDialog::accept, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_target, *m_output;
    bool m_done = false;
    std::chrono::steady_clock::time_point m_boxPainted;
};
