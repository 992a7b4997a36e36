#pragma once

#include <QBasicTimer>

class QObject;
class QTimerEvent;

// The caret's blinking: shown for half of the system's flash time, hidden for
// the other half, and shown at once again whenever it moves. Without the focus
// there is no caret to blink.
class CaretBlink
{
public:
    // Shows the caret and starts the cycle again, with the owner's timer events.
    void restart(QObject *owner);
    // Hides it until the next restart: the focus went.
    void stop();
    // Whether the event is this blink's: the caret then changed half.
    bool toggled(const QTimerEvent *event);
    bool isOn() const { return m_on; }

private:
    QBasicTimer m_timer;
    bool m_on = false;
};
