#include "outputbox/widget/outputboxaccessible.h"

#include "outputbox/widget/outputbox.h"
#include "outputbox/document/outputdocument.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Words and sentences are looked for this far around an offset: a line can be
// a million characters long.
constexpr int kReach = 4096;

QAccessibleInterface *makeInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("OutputBox") && object && object->isWidgetType())
        return new OutputBoxAccessible(static_cast<OutputBox *>(object));
    return nullptr;
}

} // namespace

OutputBoxAccessible::OutputBoxAccessible(OutputBox *box)
    : QAccessibleWidget(box, QAccessible::EditableText)
{ }

void OutputBoxAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

OutputBox *OutputBoxAccessible::box() const
{
    return static_cast<OutputBox *>(widget());
}

OutputDocument *OutputBoxAccessible::document() const
{
    return box()->document();
}

void *OutputBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State OutputBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString OutputBoxAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return document()->textRange(0, document()->length());
    return QAccessibleWidget::text(type);
}

void OutputBoxAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !document()->hasSelection())
        return;
    *startOffset = document()->selectionStart();
    *endOffset = document()->selectionEnd();
}

int OutputBoxAccessible::selectionCount() const
{
    return document()->hasSelection() ? 1 : 0;
}

void OutputBoxAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void OutputBoxAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        document()->setCursorPosition(document()->cursorPosition());
}

void OutputBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        document()->setSelection(startOffset, endOffset);
}

int OutputBoxAccessible::cursorPosition() const
{
    return document()->cursorPosition();
}

void OutputBoxAccessible::setCursorPosition(int position)
{
    document()->setCursorPosition(position);
}

QString OutputBoxAccessible::text(int startOffset, int endOffset) const
{
    return document()->textRange(startOffset, endOffset);
}

std::pair<int, int> OutputBoxAccessible::unitAt(int offset, QAccessible::TextBoundaryType boundaryType) const
{
    const int size = document()->length();
    offset = std::clamp(offset, 0, size);
    const int line = document()->lineOfPosition(offset);
    const int start = document()->lineStart(line);
    const int end = document()->lineEnd(line);
    switch (boundaryType) {
    case QAccessible::NoBoundary:
        return {0, size};
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary:
        // With its line break, as a reader moving by lines expects.
        return {start, std::min(size, end + 1)};
    case QAccessible::CharBoundary:
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        if (offset == end)
            return {offset, std::min(size, offset + 1)};
        const int from = std::max(start, offset - kReach);
        const int to = std::min(end, offset + kReach);
        const QString window = document()->textRange(from, to);
        const QTextBoundaryFinder::BoundaryType type = boundaryType == QAccessible::CharBoundary
                ? QTextBoundaryFinder::Grapheme
                : boundaryType == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                            : QTextBoundaryFinder::Sentence;
        QTextBoundaryFinder finder(type, window);
        finder.setPosition(offset - from);
        int first = offset - from;
        if (!finder.isAtBoundary()) {
            const qsizetype previous = finder.toPreviousBoundary();
            first = previous < 0 ? 0 : int(previous);
        }
        finder.setPosition(offset - from);
        const qsizetype next = finder.toNextBoundary();
        const int last = next < 0 ? int(window.size()) : int(next);
        return {from + first, from + last};
    }
    }
    return {offset, offset};
}

QString OutputBoxAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                          int *endOffset) const
{
    const auto [start, end] = unitAt(offset, boundaryType);
    *startOffset = start;
    *endOffset = end;
    return text(start, end);
}

QString OutputBoxAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                              int *endOffset) const
{
    const int first = unitAt(offset, boundaryType).first;
    if (first <= 0) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return textAtOffset(first - 1, boundaryType, startOffset, endOffset);
}

QString OutputBoxAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                             int *endOffset) const
{
    const int last = unitAt(offset, boundaryType).second;
    if (last >= document()->length()) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return textAtOffset(last, boundaryType, startOffset, endOffset);
}

int OutputBoxAccessible::characterCount() const
{
    return document()->length();
}

QRect OutputBoxAccessible::characterRect(int offset) const
{
    OutputBox *target = box();
    QRect rect = target->characterRect(offset, 1);
    const OutputDocument *text = document();
    if (offset + 1 <= text->length() && text->lineOfPosition(offset + 1) == text->lineOfPosition(offset)) {
        const QRect next = target->characterRect(offset + 1, 1);
        rect.setRight(std::max(rect.left(), next.left() - 1));
    }
    return QRect(target->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int OutputBoxAccessible::offsetAtPoint(const QPoint &point) const
{
    OutputBox *target = box();
    const QPoint local = target->viewport()->mapFromGlobal(point);
    if (!target->viewport()->rect().contains(local))
        return -1;
    return target->positionAt(local);
}

void OutputBoxAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    // Showing the end first and the start last leaves the start in view when
    // the substring is longer than the box.
    box()->ensureVisible(endIndex);
    box()->ensureVisible(startIndex);
}

QString OutputBoxAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One font and colour for the whole text.
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = document()->length();
    return QString();
}

void OutputBoxAccessible::deleteText(int startOffset, int endOffset)
{
    document()->replaceRange(startOffset, endOffset, QString());
}

void OutputBoxAccessible::insertText(int offset, const QString &text)
{
    document()->replaceRange(offset, offset, text);
}

void OutputBoxAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    document()->replaceRange(startOffset, endOffset, text);
}
