#pragma once

#include <QString>

#include <limits>

class QStringDecoder;

// The three ways the program touches its text files. Files are in the local 8-bit
// encoding; line ends are kept as they are on reading and written as CR LF.
// Every file is opened and closed within one call.
namespace TextFile {

// The text FileContent gives for a file that is not there. Callers treat it as
// ordinary text: it can end up in the server list and in the output box.
QString missingFileText();

// True when strfile names an existing entry that is not a directory.
bool FileExist(const QString &strfile);

// What was read of a file: its text, how many bytes gave it, and whether the
// file held more than that.
struct FilePart
{
    QString text;
    qint64 bytes = 0;
    bool cut = false;
};

// The content of strfile, or missingFileText() when it is not there: as much as
// it held when it was opened and at most maxBytes, so a result file that is still
// being written, or a huge one, cannot keep the window reading. Throws FileError
// when the file is there but cannot be read or is not an ordinary file.
FilePart FileContent(const QString &strfile, qint64 maxBytes);
inline QString FileContent(const QString &strfile)
{
    return FileContent(strfile, std::numeric_limits<qint64>::max()).text;
}

// For a reader that takes a file in parts as it grows, and must end with the
// text FileContent gives: what a failed read is called, and what the decoder
// still holds at the end (a character cut off there, as the replacement
// character).
QString readingOperation();
QString decoderTail(QStringDecoder &decoder);

// Appends StrData and CR LF to strfile, creating it when absent; a file whose
// last line has no line break gets one first. Returns true once written. Throws
// FileError when the file cannot be opened or written, and then leaves it as it
// was: a line is appended whole or not at all. Appends from other programs at
// the same time are never written over; other copies of this one take turns.
bool WriteContentLine(const QString &StrData, const QString &strfile);

} // namespace TextFile
