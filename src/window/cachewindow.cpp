#include "window/cachewindow.h"

#include "commands/purge.h"
#include "outputbox/outputbox.h"
#include "storage/actionerror.h"
#include "storage/serverlist.h"
#include "window/boxtext.h"
#include "window/layouttable.h"
#include "window/purgewatch.h"
#include "window/windowcontrols.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QString kTitle = QStringLiteral("Quellory");
const QString kPurgeDone = QStringLiteral("更新完毕,请检查是否更新!");
// How many purges keep their watch, so that their reports' action still works.
constexpr size_t kKeptPurges = 8;
} // namespace

CacheWindow::CacheWindow(const AppFolder &folder, QWidget *parent)
    : QWidget(parent)
    , m_folder(folder)
{
    setObjectName(QStringLiteral("cache"));
    setWindowTitle(kTitle);
    setFixedSize(LayoutTable::clientSize());
    m_controls = WindowControls::make(this);

    connect(m_controls.purgeButton, &QPushButton::clicked, this, &CacheWindow::purge);
    connect(m_controls.statusButton, &QPushButton::clicked, this, &CacheWindow::statusQuery);
    connect(m_controls.addButton, &QPushButton::clicked, this, &CacheWindow::addServer);
    connect(&m_notifier, &DesktopNotifier::resultsWanted, this, &CacheWindow::showPurgeResults);

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
    const QList<QListWidgetItem *> selected = m_controls.serverList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void CacheWindow::addServer()
{
    runOrReport(tr("Adding a server"), [this] {
        ServerList(m_folder).add(m_controls.newServerBox->text());
        LoadServerList();
    });
}

bool CacheWindow::purgeRunning() const
{
    return ScriptRunner::isRunning(m_lastPurge);
}

void CacheWindow::purge()
{
    // The script of the last purge still running would go on reading test.bat
    // while it is rewritten (cmd.exe reads a batch file line by line, by offset),
    // and both would answer into the same result files: only the operator can
    // say which one is wanted.
    const bool stopping = purgeRunning();
    if (stopping && !confirmStopRunningPurge())
        return;
    m_controls.outputBox->clear();
    QString shown;
    const ScriptRunner::StartedScript before = m_lastPurge;
    QList<qsizetype> urlLines;
    const bool ran = runOrReport(tr("Purging"), [&] {
        shown = Purge::run(m_folder, selectedServer(), BoxText::text(m_controls.urlBox), &m_lastPurge, &urlLines);
    });
    if (stopping)
        forgetIfStopped(before);
    if (!ran)
        return;
    // This purge rewrites the result files of the ones before it: a report of
    // theirs not made yet would count its answers, or a mix of both.
    dropUnreportedPurges();
    watchPurge(std::move(urlLines));
    // The answers can be tens of megabytes: the box takes the string over.
    BoxText::setText(m_controls.outputBox, std::move(shown));

    QMessageBox done(QMessageBox::NoIcon, kTitle, kPurgeDone, QMessageBox::Ok, this);
    done.setObjectName(QStringLiteral("purgeDoneBox"));
    done.exec();
}

bool CacheWindow::purgeReportPending() const
{
    return !m_purges.empty() && m_purges.back()->purge().script.pid == m_lastPurge.pid && !m_purges.back()->reported();
}

bool CacheWindow::purgeReportBeingMade() const
{
    return purgeReportPending() && m_purges.back()->ended();
}

void CacheWindow::dropUnreportedPurges()
{
    for (auto it = m_purges.begin(); it != m_purges.end();) {
        if ((*it)->reported()) {
            ++it;
            continue;
        }
        m_notifier.withdraw((*it)->purge().id);
        delete *it;
        it = m_purges.erase(it);
    }
}

void CacheWindow::watchPurge(QList<qsizetype> urlLines)
{
    PurgeWatch::Purge purge{++m_purgeCount, m_folder, selectedServer(), std::move(urlLines), m_lastPurge};
    m_purges.push_back(new PurgeWatch(std::move(purge), &m_notifier, this));
    while (m_purges.size() > kKeptPurges) {
        m_notifier.forget(m_purges.front()->purge().id);
        delete m_purges.front();
        m_purges.pop_front();
    }
}

void CacheWindow::forgetIfStopped(const ScriptRunner::StartedScript &before)
{
    for (auto it = m_purges.begin(); it != m_purges.end(); ++it) {
        PurgeWatch *watch = *it;
        if (watch->purge().script.pid != before.pid || watch->purge().script.startTime != before.startTime)
            continue;
        // Still running when the question was asked and not any more: the
        // answer stopped it. One that ended by itself while the question was
        // open was mostly seen ending by its watch, and reported; one that
        // ended in the last moment before the answer goes unreported, as the
        // operator had asked it to be stopped.
        if (!watch->ended() && !ScriptRunner::isRunning(before)) {
            m_notifier.withdraw(watch->purge().id);
            delete watch;
            m_purges.erase(it);
        }
        return;
    }
}

void CacheWindow::showPurgeResults(quint64 purge)
{
    const auto found = std::find_if(m_purges.begin(), m_purges.end(),
                                    [purge](const PurgeWatch *watch) { return watch->purge().id == purge; });
    if (found == m_purges.end())
        return;
    const QList<qsizetype> urlLines = (*found)->purge().urlLines;
    m_controls.outputBox->clear();
    runOrReport(tr("Showing the results"),
                [&] { BoxText::setText(m_controls.outputBox, Purge::shown(m_folder, urlLines)); });
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CacheWindow::statusQuery()
{
    m_controls.outputBox->clear();
    runOrReport(tr("Querying the server's status"), [this] {
        BoxText::setText(m_controls.outputBox,
                         m_statusQuery.run(m_folder, selectedServer(), m_controls.requestBox->text()));
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

void CacheWindow::showFailure(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("failureBox"));
    box.exec();
}
