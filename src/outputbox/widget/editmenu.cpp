#include "outputbox/widget/editmenu.h"

#include "outputbox/document/outputdocument.h"
#include "outputbox/view/boxclipboard.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>

#include <functional>

namespace {

QString menuText(const char *text, QKeySequence::StandardKey key)
{
    // Qt's own translations of the text control's menu apply here too.
    QString label = QCoreApplication::translate("QWidgetTextControl", text);
    const QKeySequence sequence(key);
    if (!sequence.isEmpty())
        label += u'\t' + sequence.toString(QKeySequence::NativeText);
    return label;
}

} // namespace

namespace EditMenu {

QMenu *make(QWidget *parent, OutputDocument *document, const std::function<void()> &selectAll)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("qt_edit_menu"));
    const auto add = [document, menu](const char *text, QKeySequence::StandardKey key, const char *name, bool enabled,
                                      std::function<void()> run) {
        QAction *action = menu->addAction(menuText(text, key), document, std::move(run));
        action->setObjectName(QString::fromLatin1(name));
        action->setIcon(QIcon::fromTheme(QString::fromLatin1(name)));
        action->setEnabled(enabled);
    };
    const bool selected = document->hasSelection();
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "&Undo"), QKeySequence::Undo, "edit-undo", document->isUndoAvailable(),
        [document] { document->undo(); });
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "&Redo"), QKeySequence::Redo, "edit-redo", document->isRedoAvailable(),
        [document] { document->redo(); });
    menu->addSeparator();
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "Cu&t"), QKeySequence::Cut, "edit-cut", selected,
        [document] { BoxClipboard::cut(*document); });
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "&Copy"), QKeySequence::Copy, "edit-copy", selected,
        [document] { BoxClipboard::copy(*document); });
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "&Paste"), QKeySequence::Paste, "edit-paste", BoxClipboard::canPaste(),
        [document] { BoxClipboard::paste(*document); });
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "Delete"), QKeySequence::UnknownKey, "edit-delete", selected,
        [document] { document->deleteSelection(); });
    menu->addSeparator();
    add(QT_TRANSLATE_NOOP("QWidgetTextControl", "Select All"), QKeySequence::SelectAll, "select-all",
        document->length() > 0, selectAll);
    return menu;
}

} // namespace EditMenu
