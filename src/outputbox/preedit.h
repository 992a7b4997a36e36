#pragma once

#include <QInputMethodEvent>
#include <QList>
#include <QString>

// An input method's text still being composed, shown at the caret until it is
// committed.
struct Preedit
{
    QString text;
    int cursor = 0;
    bool cursorVisible = true;
    QList<QInputMethodEvent::Attribute> formats;

    bool isEmpty() const { return text.isEmpty(); }
    void clear()
    {
        text.clear();
        formats.clear();
    }
};
