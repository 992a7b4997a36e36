#include "commands/scriptwriter.h"

#include "commands/codepagerule.h"
#include "storage/fileerror.h"

#include <QCoreApplication>

namespace {
// Large enough that a 100,000-line script costs a few hundred writes, not 100,000.
constexpr qsizetype kFlushAt = 256 * 1024;
} // namespace

ScriptWriter::ScriptWriter(const QString &path, ShellDialect dialect, const CodePages &codePages)
    : m_file(path, RegularFile::Mode::Write, QCoreApplication::translate("ScriptWriter", "Writing a command script"))
    , m_dialect(dialect)
    , m_codePages(codePages)
{
    m_buffer.reserve(kFlushAt + 4096);
}

ScriptWriter::~ScriptWriter()
{
    // An abandoned script keeps what was written so far; errors no longer matter.
    if (!m_closed) {
        try {
            m_file.writeAll(m_buffer);
        } catch (const FileError &) { }
        // A copy is only ever started whole.
        if (m_copy)
            m_copy->discard();
    }
}

void ScriptWriter::writeRunCopy()
{
    Q_ASSERT(m_buffer.isEmpty() && !m_closed);
    m_copy = std::make_unique<RunCopy>(m_file.path());
}

QString ScriptWriter::runPath() const
{
    return m_copy ? m_copy->path() : m_file.path();
}

void ScriptWriter::writeLine(const QString &line)
{
    m_buffer += m_dialect == ShellDialect::Cmd ? CodePageRule::toAnsi(m_codePages, line) : line.toLocal8Bit();
    m_buffer.append("\r\n", 2);
    if (m_buffer.size() >= kFlushAt)
        flushBuffer();
}

void ScriptWriter::close()
{
    try {
        flushBuffer();
        m_closed = true;
        m_file.close();
        if (m_copy)
            m_copy->close();
    } catch (const FileError &) {
        // A copy is only ever started whole.
        if (m_copy)
            m_copy->discard();
        throw;
    }
}

void ScriptWriter::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    try {
        m_file.writeAll(m_buffer);
        if (m_copy)
            m_copy->write(m_buffer);
    } catch (const FileError &) {
        m_closed = true; // nothing more goes in, not even from the destructor
        if (m_copy)
            m_copy->discard();
        throw;
    }
    m_buffer.clear();
}
