#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes a command script: the file is created or emptied on construction, every
// line is written in the local 8-bit encoding and ended with CR LF, and close()
// makes sure all of it reached the file. Every failure throws FileError.
class ScriptWriter
{
public:
    explicit ScriptWriter(const QString &path);
    ~ScriptWriter();

    ScriptWriter(const ScriptWriter &) = delete;
    ScriptWriter &operator=(const ScriptWriter &) = delete;

    void writeLine(const QString &line);
    void close();

private:
    void flushBuffer();

    QFile m_file;
    QByteArray m_buffer;
};
