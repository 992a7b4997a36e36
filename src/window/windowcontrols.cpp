#include "window/windowcontrols.h"

#include "outputbox/widget/outputbox.h"
#include "window/layouttable.h"
#include "window/textarea.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <map>

namespace {
// A label's caption as a name: "服务器IP：" says "服务器IP".
QString spokenCaption(QString caption)
{
    if (caption.endsWith(QChar(0xFF1A)) || caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption;
}

// Each kind of control made and put into its member of the WindowControls.
QWidget *make(std::monostate, const ControlPlace &entry, WindowControls &, QWidget *parent)
{
    return new QLabel(entry.caption, parent);
}

QWidget *make(QListWidget *WindowControls::*slot, const ControlPlace &, WindowControls &c, QWidget *parent)
{
    auto *list = c.*slot = new QListWidget(parent);
    // The desktop's own: a click picks one server, Ctrl+click and Shift+click
    // (and Ctrl+A) several, each purged at once.
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSortingEnabled(false);
    // Items are plain texts from a file; many of them is the normal case.
    list->setUniformItemSizes(true);
    return list;
}

QWidget *make(QLineEdit *WindowControls::*slot, const ControlPlace &entry, WindowControls &c, QWidget *parent)
{
    return c.*slot = new QLineEdit(entry.caption, parent);
}

QWidget *make(QPlainTextEdit *WindowControls::*slot, const ControlPlace &, WindowControls &c, QWidget *parent)
{
    return c.*slot = TextArea::make(parent);
}

QWidget *make(OutputBox *WindowControls::*slot, const ControlPlace &, WindowControls &c, QWidget *parent)
{
    // No wrap, both scroll bars and Tab leaving it, as a TextArea.
    return c.*slot = new OutputBox(parent);
}

QWidget *make(QPushButton *WindowControls::*slot, const ControlPlace &entry, WindowControls &c, QWidget *parent)
{
    auto *button = c.*slot = new QPushButton(entry.caption, parent);
    // Buttons take the focus on Tab like every other control here.
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

// Screen readers take a control's name from the label that is its buddy in
// some widgets' interfaces and not in others; the name is set as well, so
// every one says the same.
void nameByLabels(const std::map<QString, QWidget *> &byName)
{
    for (const ControlPlace &entry : LayoutTable::controls()) {
        if (!entry.isLabel() || entry.names.isEmpty())
            continue;
        QWidget *named = byName.at(entry.names);
        static_cast<QLabel *>(byName.at(entry.name))->setBuddy(named);
        named->setAccessibleName(spokenCaption(entry.caption));
    }
}

void setTabOrder(const std::map<int, QWidget *> &byTab)
{
    QWidget *previous = nullptr;
    for (const auto &[tab, widget] : byTab) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}
} // namespace

WindowControls WindowControls::make(QWidget *parent)
{
    WindowControls c;
    std::map<QString, QWidget *> byName;
    std::map<int, QWidget *> byTab;
    for (const ControlPlace &entry : LayoutTable::controls()) {
        QWidget *widget = std::visit([&](auto slot) { return ::make(slot, entry, c, parent); }, entry.slot);
        widget->setObjectName(entry.name);
        widget->setGeometry(entry.pixelRect());
        if (!entry.isLabel()) {
            byTab[entry.tab] = widget;
            if (!entry.names.isEmpty())
                widget->setAccessibleName(entry.names);
        }
        byName[entry.name] = widget;
    }
    nameByLabels(byName);
    setTabOrder(byTab);
    return c;
}
