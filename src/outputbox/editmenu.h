#pragma once

class OutputDocument;
class QMenu;
class QWidget;

// The output box's context menu, as QPlainTextEdit's: the same entries, names,
// icons and translations, each acting on the document.
namespace EditMenu {

QMenu *make(QWidget *parent, OutputDocument *document);

} // namespace EditMenu
