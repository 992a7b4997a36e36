#pragma once

#include <functional>

class OutputDocument;
class QMenu;
class QWidget;

// The output box's context menu, as QPlainTextEdit's: the same entries, names,
// icons and translations, each acting on the document; Select All is the
// view's, which keeps its place.
namespace EditMenu {

QMenu *make(QWidget *parent, OutputDocument *document, const std::function<void()> &selectAll);

} // namespace EditMenu
