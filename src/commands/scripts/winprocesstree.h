#pragma once

// Finding and ending a script's cmd.exe and everything it started, through the
// Win32 API. Windows only, and free of Qt so that a cross compiler can build it
// and wine can run it in a test. Ids are Windows process ids (DWORD).
namespace WinProcessTree {

// When process id was created, in FILETIME units, or 0 when there is no such
// process: together with the id it names one process for good.
unsigned long long startTime(unsigned long id);

// True while id is a cmd.exe that this process started at startedAt. A process
// id can be handed to another program once ours has ended, even to another
// cmd.exe of ours; one that is not a child of ours, not cmd.exe, or started at
// another time is left alone.
bool isOurInterpreter(unsigned long id, unsigned long long startedAt);

// When id is a cmd.exe of ours started at startedAt (as isOurInterpreter says),
// ends it first, so it starts nothing more, then everything it started, and
// theirs, waiting up to a second for each to go; true if it did. The check and
// the end go through one handle, which keeps the id from passing to another
// process in between: the process checked is the one ended.
bool endOurInterpreter(unsigned long id, unsigned long long startedAt);

// Takes process id, started suspended, into a job object of its own, then
// lets it run. Everything it starts stays in the job, even through a program
// that ends at once (wine's cmd.exe starts "start /b" through start.exe), so
// endOurInterpreter ends what the process tree no longer shows. Where no job
// can be had (a job of the program's own that forbids it), the process runs
// all the same, and only its tree is ended. False if it could not be let run.
bool adopt(unsigned long id);

} // namespace WinProcessTree
