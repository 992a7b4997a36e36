#pragma once

#include <QString>

// The three ways the program touches its text files. Files are in the local 8-bit
// encoding; line ends are kept as they are on reading and written as CR LF.
// Every file is opened and closed within one call.
namespace TextFile {

// The text FileContent gives for a file that is not there. Callers treat it as
// ordinary text: it can end up in the server list and in the output box.
QString missingFileText();

// True when strfile names an existing entry that is not a directory.
bool FileExist(const QString &strfile);

// Throws FileError for `operation` when path names an entry that is not an
// ordinary file (a FIFO, a device, a socket); an absent path passes.
void requireRegularFile(const QString &path, const QString &operation);

// The whole content of strfile, or missingFileText() when it is not there.
// Throws FileError when the file is there but cannot be read.
QString FileContent(const QString &strfile);

// Appends StrData and CR LF to strfile, creating it when absent; a file whose
// last line has no line break gets one first. Returns true once written. Throws
// FileError when the file cannot be opened or written, and then leaves it as it
// was: a line is appended whole or not at all.
bool WriteContentLine(const QString &StrData, const QString &strfile);

} // namespace TextFile
