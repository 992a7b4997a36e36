#include "window/cachewindow.h"

#include "commands/purge.h"
#include "commands/statusquery.h"
#include "commands/unsafetexterror.h"
#include "storage/fileerror.h"
#include "storage/serverlist.h"
#include "window/boxtext.h"
#include "window/layouttable.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <map>

namespace {
const QString kTitle = QStringLiteral("Quellory");
const QString kPurgeDone = QStringLiteral("更新完毕,请检查是否更新!");

QPlainTextEdit *makeTextArea(QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab leaves the box instead of typing a tab, so the focus order works from
    // every control.
    box->setTabChangesFocus(true);
    return box;
}
} // namespace

CacheWindow::CacheWindow(const AppFolder &folder, QWidget *parent)
    : QWidget(parent)
    , m_folder(folder)
    , m_statusPauseMs(StatusQuery::kPauseMs)
{
    setObjectName(QStringLiteral("cache"));
    setWindowTitle(kTitle);
    setFixedSize(LayoutTable::clientSize());
    buildControls();

    connect(m_command1, &QPushButton::clicked, this, &CacheWindow::purge);
    connect(m_command2, &QPushButton::clicked, this, &CacheWindow::statusQuery);
    connect(m_command3, &QPushButton::clicked, this, &CacheWindow::addServer);

    // A server list that cannot be read must not keep the window from opening.
    runOrReport([this] { LoadServerList(); });
    m_text1->setFocus();
}

void CacheWindow::buildControls()
{
    std::map<int, QWidget *> byTab;
    for (const ControlSpec &entry : LayoutTable::controls()) {
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case ControlKind::Label:
            widget = new QLabel(entry.caption, this);
            break;
        case ControlKind::ListBox: {
            auto *list = new QListWidget(this);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setSortingEnabled(false);
            // Items are plain texts from a file; many of them is the normal case.
            list->setUniformItemSizes(true);
            m_list1 = list;
            widget = list;
            break;
        }
        case ControlKind::LineEdit:
            widget = new QLineEdit(entry.caption, this);
            break;
        case ControlKind::TextArea:
            widget = makeTextArea(this);
            break;
        case ControlKind::Button:
            widget = new QPushButton(entry.caption, this);
            break;
        }
        widget->setObjectName(entry.name);
        widget->setAccessibleName(entry.name);
        widget->setGeometry(entry.pixelRect());
        if (entry.kind != ControlKind::Label)
            byTab[entry.tab] = widget;
    }

    m_text1 = findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    m_text2 = findChild<QLineEdit *>(QStringLiteral("Text2"));
    m_text3 = findChild<QPlainTextEdit *>(QStringLiteral("Text3"));
    m_text4 = findChild<QLineEdit *>(QStringLiteral("Text4"));
    m_command1 = findChild<QPushButton *>(QStringLiteral("Command1"));
    m_command2 = findChild<QPushButton *>(QStringLiteral("Command2"));
    m_command3 = findChild<QPushButton *>(QStringLiteral("Command3"));

    // Buttons take the focus on Tab like every other control here.
    for (auto *button : {m_command1, m_command2, m_command3})
        button->setFocusPolicy(Qt::StrongFocus);

    QWidget *previous = nullptr;
    for (const auto &[tab, widget] : byTab) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void CacheWindow::LoadServerList()
{
    const QStringList items = ServerList(m_folder).load();
    m_list1->clear();
    m_list1->addItems(items);
    m_list1->setCurrentRow(-1);
    m_list1->clearSelection();
}

QString CacheWindow::selectedServer() const
{
    const QList<QListWidgetItem *> selected = m_list1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void CacheWindow::addServer()
{
    runOrReport([this] {
        ServerList(m_folder).add(m_text4->text());
        LoadServerList();
    });
}

void CacheWindow::purge()
{
    m_text3->clear();
    QString shown;
    if (!runOrReport([&] { shown = Purge::run(m_folder, selectedServer(), BoxText::text(m_text1)); }))
        return;
    BoxText::setText(m_text3, shown);

    QMessageBox done(QMessageBox::NoIcon, kTitle, kPurgeDone, QMessageBox::Ok, this);
    done.setObjectName(QStringLiteral("purgeDoneBox"));
    done.exec();
}

void CacheWindow::statusQuery()
{
    m_text3->clear();
    runOrReport([this] {
        BoxText::setText(m_text3, StatusQuery::run(m_folder, selectedServer(), m_text2->text(), m_statusPauseMs));
    });
}

bool CacheWindow::runOrReport(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const FileError &error) {
        showFailure(error.message());
    } catch (const UnsafeTextError &error) {
        showFailure(error.message());
    }
    return false;
}

void CacheWindow::showFailure(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("failureBox"));
    box.exec();
}
