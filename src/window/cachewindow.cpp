#include "window/cachewindow.h"

#include "commands/actions/purge.h"
#include "commands/actions/visiblepassworderror.h"
#include "commands/scriptlines/cacheclient.h"
#include "outputbox/widget/outputbox.h"
#include "storage/actionerror.h"
#include "storage/serverlist.h"
#include "window/boxtext.h"
#include "window/layouttable.h"
#include "window/windowcontrols.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

#include <algorithm>

namespace {
const QString kTitle = QStringLiteral("Quellory");
const QString kPurgeDone = QStringLiteral("更新完毕,请检查是否更新!");
} // namespace

CacheWindow::CacheWindow(const AppFolder &folder, QWidget *parent)
    : QWidget(parent)
    , m_folder(folder)
    , m_scripts(folder)
{
    setObjectName(QStringLiteral("cache"));
    setWindowTitle(kTitle);
    setFixedSize(LayoutTable::clientSize());
    m_controls = WindowControls::make(this);

    connect(m_controls.purgeButton, &QPushButton::clicked, this, &CacheWindow::purge);
    connect(m_controls.statusButton, &QPushButton::clicked, this, &CacheWindow::statusQuery);
    connect(m_controls.addButton, &QPushButton::clicked, this, &CacheWindow::addServer);
    connect(m_controls.serverList, &QListWidget::itemSelectionChanged, this, &CacheWindow::announceSelection);
    connect(&m_notifier, &DesktopNotifier::resultsWanted, this, &CacheWindow::showPurgeResults);
    connect(&m_scripts, &RunningScripts::purgeNotice, &m_notifier, &DesktopNotifier::show);
    connect(&m_scripts, &RunningScripts::purgeWithdrawn, &m_notifier, &DesktopNotifier::withdraw);
    connect(&m_scripts, &RunningScripts::purgeForgotten, &m_notifier, &DesktopNotifier::forget);
    connect(&m_scripts, &RunningScripts::statusArrived, this, &CacheWindow::showStatus);
    connect(&m_scripts, &RunningScripts::statusFailed, this, &CacheWindow::showFailure);
    connect(&m_scripts, &RunningScripts::shownRead, this, &CacheWindow::showRead);

    // A server list that cannot be read must not keep the window from opening.
    runOrReport(tr("Reading the server list"), [this] { LoadServerList(); });
    m_controls.urlBox->setFocus();
}

void CacheWindow::LoadServerList()
{
    const QStringList items = ServerList(m_folder).load();
    m_controls.serverList->clear();
    m_controls.serverList->addItems(items);
    m_controls.serverList->setCurrentRow(-1);
    m_controls.serverList->clearSelection();
}

QString CacheWindow::selectedServer() const
{
    return selectedServers().first();
}

QStringList CacheWindow::selectedServers() const
{
    QListWidget *list = m_controls.serverList;
    QList<QListWidgetItem *> selected = list->selectedItems();
    // In the list's order, whatever order they were picked in.
    std::sort(selected.begin(), selected.end(),
              [list](QListWidgetItem *a, QListWidgetItem *b) { return list->row(a) < list->row(b); });
    QStringList servers;
    for (const QListWidgetItem *item : std::as_const(selected)) {
        // Among several, an empty row (the one after the list's last line
        // end, taken by Ctrl+A) names no server; alone it is what it always was.
        if (selected.size() == 1 || !item->text().isEmpty())
            servers << item->text();
    }
    if (servers.isEmpty())
        servers << QString();
    return servers;
}

void CacheWindow::announceSelection()
{
    const qsizetype count = m_controls.serverList->selectedItems().size() > 1 ? selectedServers().size() : 1;
    // One or none: the list says what it always said.
    m_controls.serverList->setAccessibleDescription(count > 1 ? tr("%1 servers selected").arg(count) : QString());
}

void CacheWindow::addServer()
{
    runOrReport(tr("Adding a server"), [this] {
        CacheClient::checkFolder(m_folder);
        ServerList(m_folder).add(m_controls.newServerBox->text());
        LoadServerList();
    });
}

void CacheWindow::purge()
{
    // The script of the last purge still running would go on writing into the
    // same result files: only the operator can say which one is wanted.
    if (purgeRunning() && !confirmStopRunningPurge())
        return;
    // The box is the purge's now: a status query still answering goes on, but
    // into its result file alone.
    m_scripts.releaseStatus();
    m_controls.outputBox->clear();
    m_boxRead = 0;
    QString shown;
    bool cancelled = false;
    const auto start = [&] {
        const QStringList servers = selectedServers();
        const QString urls = BoxText::text(m_controls.urlBox);
        // The status query's password, where the operator has let the
        // purge's listing send it.
        const QString request = m_controls.requestBox->text();
        try {
            shown = m_scripts.purge(servers, urls, request);
        } catch (const VisiblePasswordError &question) {
            cancelled = !confirmVisiblePassword(question.message());
            if (!cancelled)
                shown = m_scripts.purge(servers, urls, request, StatusQuery::Password::MayShow);
        }
    };
    if (!runOrReport(tr("Purging"), start) || cancelled)
        return;
    // Several servers' answers come once read (see showRead).
    m_boxRead = m_purgeRead = m_scripts.pendingShown();
    // The answers can be tens of megabytes: the box takes the string over.
    if (!m_boxRead)
        BoxText::setText(m_controls.outputBox, std::move(shown));

    QMessageBox done(QMessageBox::NoIcon, kTitle, kPurgeDone, QMessageBox::Ok, this);
    done.setObjectName(QStringLiteral("purgeDoneBox"));
    m_doneBox = &done;
    done.exec();
}

void CacheWindow::showPurgeResults(quint64 purge)
{
    if (!m_scripts.purgeKept(purge))
        return;
    m_scripts.releaseStatus();
    m_controls.outputBox->clear();
    m_boxRead = 0;
    runOrReport(tr("Showing the results"), [&] {
        QString shown = m_scripts.shownResults(purge);
        m_boxRead = m_scripts.pendingShown();
        if (!m_boxRead)
            BoxText::setText(m_controls.outputBox, std::move(shown));
    });
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CacheWindow::statusQuery()
{
    m_controls.outputBox->clear();
    m_boxRead = 0;
    runOrReport(tr("Querying the server's status"), [this] {
        const QStringList servers = selectedServers();
        const QString request = m_controls.requestBox->text();
        try {
            m_scripts.statusQuery(servers, request);
        } catch (const VisiblePasswordError &question) {
            if (confirmVisiblePassword(question.message()))
                m_scripts.statusQuery(servers, request, StatusQuery::Password::MayShow);
        }
    });
}

void CacheWindow::showStatus()
{
    bool whole = false;
    QString text = m_scripts.takeStatusText(&whole);
    if (whole)
        BoxText::setText(m_controls.outputBox, std::move(text));
    else
        m_controls.outputBox->appendAnswer(text);
    emit statusShown();
}

void CacheWindow::showRead(quint64 read)
{
    const bool boxes = read == m_boxRead;
    if (boxes)
        m_boxRead = 0;
    runOrReport(read == m_purgeRead ? tr("Purging") : tr("Showing the results"), [&] {
        QString text;
        try {
            text = m_scripts.takeShown(read);
        } catch (...) {
            // The purge has stopped: "done" must not stand behind why.
            if (m_doneBox)
                m_doneBox->reject();
            throw;
        }
        if (boxes)
            BoxText::setText(m_controls.outputBox, std::move(text));
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
        showFailure(ActionError(doing, tr("The text is too large for this computer's memory."), tr("Out of memory"))
                            .message());
    } catch (const std::exception &error) {
        showFailure(ActionError(doing, QString(), QString::fromLocal8Bit(error.what())).message());
    }
    return false;
}

bool CacheWindow::confirmStopRunningPurge()
{
    QMessageBox question(QMessageBox::Question, kTitle,
                         tr("The previous purge is still running.\n\nStop it and start this one?"),
                         QMessageBox::NoButton, this);
    question.setObjectName(QStringLiteral("purgeRunningBox"));
    QPushButton *stop = question.addButton(tr("Stop it and purge"), QMessageBox::AcceptRole);
    QPushButton *keep = question.addButton(tr("Let it run"), QMessageBox::RejectRole);
    question.setDefaultButton(stop);
    question.setEscapeButton(keep);
    question.exec();
    return question.clickedButton() == stop;
}

bool CacheWindow::confirmVisiblePassword(const QString &text)
{
    QMessageBox question(QMessageBox::Warning, kTitle, text, QMessageBox::NoButton, this);
    question.setObjectName(QStringLiteral("visiblePasswordBox"));
    QPushButton *send = question.addButton(tr("Send it"), QMessageBox::AcceptRole);
    QPushButton *cancel = question.addButton(tr("Cancel"), QMessageBox::RejectRole);
    // The safe answer is the one a hurried Return gives.
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == send;
}

void CacheWindow::showFailure(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("failureBox"));
    box.exec();
}
