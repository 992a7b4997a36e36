#include "window/cachewindow.h"

#include "commands/purge.h"
#include "outputbox/outputbox.h"
#include "storage/actionerror.h"
#include "storage/serverlist.h"
#include "window/boxtext.h"
#include "window/layouttable.h"
#include "window/textarea.h"

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
} // namespace

CacheWindow::CacheWindow(const AppFolder &folder, QWidget *parent)
    : QWidget(parent)
    , m_folder(folder)
{
    setObjectName(QStringLiteral("cache"));
    setWindowTitle(kTitle);
    setFixedSize(LayoutTable::clientSize());
    buildControls();

    connect(m_purgeButton, &QPushButton::clicked, this, &CacheWindow::purge);
    connect(m_statusButton, &QPushButton::clicked, this, &CacheWindow::statusQuery);
    connect(m_addButton, &QPushButton::clicked, this, &CacheWindow::addServer);

    // A server list that cannot be read must not keep the window from opening.
    runOrReport(QStringLiteral("Reading the server list"), [this] { LoadServerList(); });
    m_urlBox->setFocus();
}

void CacheWindow::buildControls()
{
    std::map<int, QWidget *> byTab;
    for (const ControlPlace &entry : LayoutTable::controls()) {
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
            m_serverList = list;
            widget = list;
            break;
        }
        case ControlKind::LineEdit:
            widget = new QLineEdit(entry.caption, this);
            break;
        case ControlKind::TextArea:
            widget = TextArea::make(this);
            break;
        case ControlKind::OutputBox:
            // No wrap, both scroll bars and Tab leaving it, as a TextArea.
            widget = new OutputBox(this);
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

    m_urlBox = findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    m_requestBox = findChild<QLineEdit *>(QStringLiteral("Text2"));
    m_outputBox = findChild<OutputBox *>(QStringLiteral("Text3"));
    m_newServerBox = findChild<QLineEdit *>(QStringLiteral("Text4"));
    m_purgeButton = findChild<QPushButton *>(QStringLiteral("Command1"));
    m_statusButton = findChild<QPushButton *>(QStringLiteral("Command2"));
    m_addButton = findChild<QPushButton *>(QStringLiteral("Command3"));

    // Buttons take the focus on Tab like every other control here.
    for (auto *button : {m_purgeButton, m_statusButton, m_addButton})
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
    m_serverList->clear();
    m_serverList->addItems(items);
    m_serverList->setCurrentRow(-1);
    m_serverList->clearSelection();
}

QString CacheWindow::selectedServer() const
{
    const QList<QListWidgetItem *> selected = m_serverList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void CacheWindow::addServer()
{
    runOrReport(QStringLiteral("Adding a server"), [this] {
        ServerList(m_folder).add(m_newServerBox->text());
        LoadServerList();
    });
}

void CacheWindow::purge()
{
    m_outputBox->clear();
    QString shown;
    if (!runOrReport(QStringLiteral("Purging"),
                     [&] { shown = Purge::run(m_folder, selectedServer(), BoxText::text(m_urlBox)); }))
        return;
    // The answers can be tens of megabytes: the box takes the string over.
    BoxText::setText(m_outputBox, std::move(shown));

    QMessageBox done(QMessageBox::NoIcon, kTitle, kPurgeDone, QMessageBox::Ok, this);
    done.setObjectName(QStringLiteral("purgeDoneBox"));
    done.exec();
}

void CacheWindow::statusQuery()
{
    m_outputBox->clear();
    runOrReport(QStringLiteral("Querying the server's status"), [this] {
        BoxText::setText(m_outputBox, m_statusQuery.run(m_folder, selectedServer(), m_requestBox->text()));
    });
}

bool CacheWindow::runOrReport(const QString &doing, const std::function<void()> &action)
{
    // Nothing may leave an event handler: Qt would end the program.
    try {
        action();
        return true;
    } catch (const ActionError &error) {
        showFailure(error.message());
    } catch (const std::bad_alloc &) {
        showFailure(ActionError(doing, QStringLiteral("The text is too large for this computer's memory."),
                                QStringLiteral("Out of memory"))
                            .message());
    } catch (const std::exception &error) {
        showFailure(ActionError(doing, QString(), QString::fromLocal8Bit(error.what())).message());
    }
    return false;
}

void CacheWindow::showFailure(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("failureBox"));
    box.exec();
}
