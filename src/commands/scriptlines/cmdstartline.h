#pragma once

#include <QString>

// How cmd.exe is started on a script. cmd.exe reads its own command line in
// command-line mode, where %NAME% expands whenever NAME is a variable that is set
// and %% is no escape, so a folder named "%OS%" would send it to another folder.
// The script is therefore started by its bare name from inside its own folder,
// and no text of the folder ever appears on that line:
//
//   working directory  C:\tools\%OS%
//   arguments          /d /v:off /s /c "".\test.bat""
//
// /d skips AutoRun commands from the registry, /v:off turns off delayed
// expansion that the registry may turn on, /s /c takes off the outer quotes and
// runs the rest as it stands. ".\" keeps cmd.exe from looking for the script along
// PATH. Inside the script the folder's paths are safe: a batch file line reads %%
// as one %.
class CmdStartLine
{
public:
    // scriptPath in Windows form; its file name is one of our own plain names.
    explicit CmdStartLine(const QString &scriptPath);

    // The folder cmd.exe is started in: the script's own.
    const QString &workingDirectory() const { return m_workingDirectory; }
    // Everything after the program on cmd.exe's command line.
    const QString &arguments() const { return m_arguments; }

    // Why cmd.exe cannot run a script from folder, or the empty text when it can:
    // cmd.exe refuses a network path (\\server\share) as its current folder and
    // falls back to the Windows folder, where the script is not.
    static QString folderRefusal(const QString &folder);

private:
    QString m_workingDirectory;
    QString m_arguments;
};
