#pragma once

#include "commands/actions/runningscripts.h"
#include "storage/appfolder.h"
#include "window/desktopnotifier.h"
#include "window/windowcontrols.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

// The program's one window. Its controls are the whole in-memory state: every
// action reads its inputs from them when it starts and writes its results back.
// The scripts it starts are RunningScripts', which it wires to the controls
// and to the desktop's notifications.
class CacheWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CacheWindow(const AppFolder &folder, QWidget *parent = nullptr);

    const AppFolder &folder() const { return m_folder; }

    // Refills List1 from serverlist.txt; no item is selected afterwards. Throws
    // FileError when the file is there but cannot be read (List1 is then untouched).
    void LoadServerList();

    // The selected server, or the empty text when no item is selected; the
    // top-most of several.
    QString selectedServer() const;
    // Every selected server, top to bottom; one empty text when none is.
    QStringList selectedServers() const;

    // See RunningScripts.
    bool purgeRunning() const { return m_scripts.purgeRunning(); }
    bool purgeReportPending() const { return m_scripts.purgeReportPending(); }
    bool purgeReportBeingMade() const { return m_scripts.purgeReportBeingMade(); }
    // The status query's answer still goes into Text3 as it arrives.
    bool statusFollowed() const { return m_scripts.statusFollowed(); }

    // The status query's pause; only tests and benchmarks change it.
    void setStatusPause(int ms) { m_scripts.setStatusPause(ms); }

public slots:
    void addServer();   // Command3
    void purge();       // Command1
    void statusQuery(); // Command2
    // The report's "Show results": the output box gets what that purge's result
    // files hold now, as a purge shows them, and the window comes to the front.
    void showPurgeResults(quint64 purge);

signals:
    // Text3 has shown what the status query's answer held at the end of its
    // pause, or more of it since.
    void statusShown();

private:
    // The screen reader hears how many servers are selected, once several are.
    void announceSelection();
    // Asks whether the purge still running from before is to be ended for this
    // one; true for yes.
    bool confirmStopRunningPurge();
    // Asks whether a password that squidclient would show to every user is to
    // be sent all the same; true for yes.
    bool confirmVisiblePassword(const QString &text);
    // Runs one step of a handler. Any failure (a file operation, a refused text,
    // memory a huge file could not get) is shown to the operator, naming `doing`
    // where it has no words of its own, and gives false: the handler stops there
    // and the window keeps running with what its controls hold.
    bool runOrReport(const QString &doing, const std::function<void()> &action);
    void showFailure(const QString &text);
    // Text3 gets what has arrived of the status query's answer.
    void showStatus();
    // Text3 gets the text read for it off the window's thread, unless
    // something else has taken the box since; a failure is shown either way.
    void showRead(quint64 read);


    AppFolder m_folder;
    WindowControls m_controls; // made from the layout table
    DesktopNotifier m_notifier;
    RunningScripts m_scripts;
    // The read whose text Text3 waits for, 0 for none; the last purge's.
    quint64 m_boxRead = 0;
    quint64 m_purgeRead = 0;
    // The purge's "done" box while it is open.
    QPointer<QMessageBox> m_doneBox;
};
