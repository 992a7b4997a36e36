#include "outputbox/view/accessibleevents.h"

#include <QAccessible>

namespace AccessibleEvents {

void textReset(QObject *box)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(box, QAccessible::TextUpdated);
    QAccessible::updateAccessibility(&event);
}

void textReplaced(QObject *box, const OutputDocument &document, const OutputDocument::Change &change)
{
    if (!QAccessible::isActive())
        return;
    // A screen reader gets the text that changed, unless it is too big to be
    // worth reading out; then it hears that the text changed.
    constexpr int kReadable = 64 * 1024;
    const int removedLength = change.removedLength();
    if (removedLength > kReadable || change.inserted > kReadable) {
        textReset(box);
        return;
    }
    if (removedLength > 0) {
        QAccessibleTextRemoveEvent event(box, change.position,
                                         TextBuffer::withLineBreaks(TextBuffer::text(change.removed)));
        QAccessible::updateAccessibility(&event);
    }
    if (change.inserted > 0) {
        const QString text = document.textRange(change.position, change.position + change.inserted);
        QAccessibleTextInsertEvent event(box, change.position, text);
        QAccessible::updateAccessibility(&event);
    }
}

void caretMoved(QObject *box, const OutputDocument &document, int oldCursor, Selection selection)
{
    if (!QAccessible::isActive())
        return;
    const int cursor = document.cursorPosition();
    if (selection == Selection::Moved) {
        QAccessibleTextSelectionEvent event(box, document.selectionStart(), document.selectionEnd());
        event.setCursorPosition(cursor);
        QAccessible::updateAccessibility(&event);
    } else if (oldCursor != cursor) {
        QAccessibleTextCursorEvent event(box, cursor);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace AccessibleEvents
