#pragma once

// Finding and ending a script's cmd.exe and everything it started, through the
// Win32 API. Windows only, and free of Qt so that a cross compiler can build it
// and wine can run it in a test. Ids are Windows process ids (DWORD).
namespace WinProcessTree {

// True while id is a cmd.exe that this process started. A process id can be
// handed to another program once ours has ended; one that is not a child of
// ours, or not cmd.exe, is left alone.
bool isOurInterpreter(unsigned long id);

// Ends id first, so it starts nothing more, then everything it started, and
// theirs, waiting up to a second for each to go.
void endTree(unsigned long id);

} // namespace WinProcessTree
