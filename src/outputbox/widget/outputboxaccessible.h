#pragma once

#include <QAccessibleWidget>

class OutputBox;
class OutputDocument;

// What a screen reader sees of the output box: an editable text field with its
// text, caret and selection, as it sees a QPlainTextEdit. Offsets are the box's
// positions (one per character, one per line break); texts come out with '\n'
// between lines.
class OutputBoxAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface
{
public:
    explicit OutputBoxAccessible(OutputBox *box);

    // Registers the factory with QAccessible, once per program; main() does,
    // before any box is made, and so does a test that reads a box this way.
    static void install();

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text type) const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    OutputBox *box() const;
    // Text, caret and selection are the document's; places on screen the box's.
    OutputDocument *document() const;
    // The unit (character, word, line...) that holds offset, as [start, end).
    std::pair<int, int> unitAt(int offset, QAccessible::TextBoundaryType boundaryType) const;
};
