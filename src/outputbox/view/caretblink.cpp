#include "outputbox/view/caretblink.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <QTimerEvent>

void CaretBlink::restart(QObject *owner)
{
    m_on = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash >= 2)
        m_timer.start(flash / 2, owner);
    else
        m_timer.stop();
}

void CaretBlink::stop()
{
    m_timer.stop();
    m_on = false;
}

bool CaretBlink::toggled(const QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId())
        return false;
    m_on = !m_on;
    return true;
}
