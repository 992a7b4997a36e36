#include "commands/scriptwriter.h"

#include "commands/codepagerule.h"
#include "storage/fileerror.h"
#include "storage/textfile.h"

namespace {
// Large enough that a 100,000-line script costs a few hundred writes, not 100,000.
constexpr qsizetype kFlushAt = 256 * 1024;
const QString kOperation = QStringLiteral("Writing a command script");
} // namespace

ScriptWriter::ScriptWriter(const QString &path, ShellDialect dialect, const CodePages &codePages)
    : m_file(path)
    , m_dialect(dialect)
    , m_codePages(codePages)
{
    TextFile::requireRegularFile(path, kOperation);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw FileError(kOperation, path, m_file.errorString());
    m_buffer.reserve(kFlushAt + 4096);
}

ScriptWriter::~ScriptWriter()
{
    // An abandoned script keeps what was written so far; errors no longer matter.
    if (m_file.isOpen()) {
        m_file.write(m_buffer);
        m_file.close();
    }
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
    flushBuffer();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throw FileError(kOperation, m_file.fileName(), m_file.errorString());
}

void ScriptWriter::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        throw FileError(kOperation, m_file.fileName(), m_file.errorString());
    m_buffer.clear();
}
