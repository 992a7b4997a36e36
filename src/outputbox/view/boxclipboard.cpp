#include "outputbox/view/boxclipboard.h"

#include "outputbox/document/outputdocument.h"

#include <QGuiApplication>
#include <QMimeData>

namespace BoxClipboard {

void copy(const OutputDocument &document)
{
    if (document.hasSelection())
        QGuiApplication::clipboard()->setText(document.selectedText(), QClipboard::Clipboard);
}

void cut(OutputDocument &document)
{
    if (!document.hasSelection())
        return;
    copy(document);
    document.deleteSelection();
}

void paste(OutputDocument &document, QClipboard::Mode mode)
{
    const QMimeData *source = QGuiApplication::clipboard()->mimeData(mode);
    if (source && source->hasText())
        document.paste(source->text());
}

bool canPaste()
{
    const QMimeData *source = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    return source && source->hasText() && !source->text().isEmpty();
}

void shareSelection(const OutputDocument &document)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (document.hasSelection() && clipboard->supportsSelection())
        clipboard->setText(document.selectedText(), QClipboard::Selection);
}

} // namespace BoxClipboard
