#pragma once

#include "commands/scriptrunner.h"
#include "commands/statusquery.h"
#include "storage/appfolder.h"
#include "window/desktopnotifier.h"
#include "window/windowcontrols.h"

#include <QList>
#include <QWidget>

#include <deque>
#include <functional>

class PurgeWatch;

// The program's one window. Its controls are the whole in-memory state: every
// action reads its inputs from them when it starts and writes its results back.
class CacheWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CacheWindow(const AppFolder &folder, QWidget *parent = nullptr);

    const AppFolder &folder() const { return m_folder; }

    // Refills List1 from serverlist.txt; no item is selected afterwards. Throws
    // FileError when the file is there but cannot be read (List1 is then untouched).
    void LoadServerList();

    // The selected server, or the empty text when no item is selected.
    QString selectedServer() const;

    // Whether the purge started last is still running: a new purge would ask.
    bool purgeRunning() const;

    // The purge started last has not been reported yet: its script still runs,
    // or its result files are being read and sorted.
    bool purgeReportPending() const;
    // The latter: its script has ended and the report is being made.
    bool purgeReportBeingMade() const;

    // The status query's pause; only benchmarks change it.
    void setStatusPause(int ms) { m_statusQuery.setPause(ms); }

public slots:
    void addServer();   // Command3
    void purge();       // Command1
    void statusQuery(); // Command2
    // The report's "Show results": the output box gets what that purge's result
    // files hold now, as a purge shows them, and the window comes to the front.
    void showPurgeResults(quint64 purge);

private:
    // Asks whether the purge still running from before is to be ended for this
    // one; true for yes.
    bool confirmStopRunningPurge();
    // Runs one step of a handler. Any failure (a file operation, a refused text,
    // memory a huge file could not get) is shown to the operator, naming `doing`
    // where it has no words of its own, and gives false: the handler stops there
    // and the window keeps running with what its controls hold.
    bool runOrReport(const QString &doing, const std::function<void()> &action);
    void showFailure(const QString &text);
    // Starts watching the purge just started, for its report.
    void watchPurge(QList<qsizetype> urlLines);
    // Every purge whose report is not made yet is forgotten, its notification
    // withdrawn.
    void dropUnreportedPurges();
    // The purge that was running when the operator answered "stop", and is not
    // any more, is not reported.
    void forgetIfStopped(const ScriptRunner::StartedScript &before);

    AppFolder m_folder;
    StatusQuery m_statusQuery;
    // The purge started last, which may still be running.
    ScriptRunner::StartedScript m_lastPurge;

    WindowControls m_controls; // made from the layout table

    DesktopNotifier m_notifier;
    // The last few purges, newest last: their reports may still be asked for
    // their results.
    std::deque<PurgeWatch *> m_purges;
    quint64 m_purgeCount = 0;
};
