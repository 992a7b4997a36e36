#include "window/windowcontrols.h"

#include "window/layouttable.h"
#include "outputbox/outputbox.h"
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

template<typename T>
T *assign(T *&slot, T *widget)
{
    slot = widget;
    return widget;
}
} // namespace

WindowControls WindowControls::make(QWidget *parent)
{
    WindowControls c;
    std::map<QString, QWidget *> byName;
    std::map<int, QWidget *> byTab;
    for (const ControlPlace &entry : LayoutTable::controls()) {
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case ControlKind::Label:
            widget = new QLabel(entry.caption, parent);
            break;
        case ControlKind::ListBox: {
            auto *list = assign(c.serverList, new QListWidget(parent));
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setSortingEnabled(false);
            // Items are plain texts from a file; many of them is the normal case.
            list->setUniformItemSizes(true);
            widget = list;
            break;
        }
        case ControlKind::LineEdit:
            widget = assign(entry.name == QLatin1String("Text2") ? c.requestBox : c.newServerBox,
                            new QLineEdit(entry.caption, parent));
            break;
        case ControlKind::TextArea:
            widget = assign(c.urlBox, TextArea::make(parent));
            break;
        case ControlKind::OutputBox:
            // No wrap, both scroll bars and Tab leaving it, as a TextArea.
            widget = assign(c.outputBox, new OutputBox(parent));
            break;
        case ControlKind::Button: {
            QPushButton *&slot = entry.name == QLatin1String("Command1") ? c.purgeButton
                    : entry.name == QLatin1String("Command2")            ? c.statusButton
                                                                         : c.addButton;
            auto *button = assign(slot, new QPushButton(entry.caption, parent));
            // Buttons take the focus on Tab like every other control here.
            button->setFocusPolicy(Qt::StrongFocus);
            widget = button;
            break;
        }
        }
        widget->setObjectName(entry.name);
        widget->setGeometry(entry.pixelRect());
        if (entry.kind != ControlKind::Label) {
            byTab[entry.tab] = widget;
            if (!entry.names.isEmpty())
                widget->setAccessibleName(entry.names);
        }
        byName[entry.name] = widget;
    }

    // Screen readers take a control's name from the label that is its buddy in
    // some widgets' interfaces and not in others; the name is set as well, so
    // every one says the same.
    for (const ControlPlace &entry : LayoutTable::controls()) {
        if (entry.kind != ControlKind::Label || entry.names.isEmpty())
            continue;
        QWidget *named = byName.at(entry.names);
        static_cast<QLabel *>(byName.at(entry.name))->setBuddy(named);
        named->setAccessibleName(spokenCaption(entry.caption));
    }

    QWidget *previous = nullptr;
    for (const auto &[tab, widget] : byTab) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    return c;
}
