#include "commands/scripts/scriptwriter.h"

#include "commands/scriptlines/codepagerule.h"
#include "storage/fileerror.h"
#include "storage/regularfile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
// Large enough that a 100,000-line script costs a few hundred writes, not 100,000.
constexpr qsizetype kFlushAt = 256 * 1024;

QString writing()
{
    return QCoreApplication::translate("ScriptWriter", "Writing a command script");
}
} // namespace

ScriptWriter::ScriptWriter(const QString &path, ShellDialect dialect, const CodePages &codePages)
    : m_path(path)
    , m_file(path)
    , m_dialect(dialect)
    , m_codePages(codePages)
{
    // A directory, a FIFO or a device under the script's name is refused, as
    // it always was, rather than replaced: opened as a file, it is refused in
    // the system's words.
    const QFileInfo there(path);
    if (there.exists() && !there.isFile()) {
        const RegularFile refused(path, RegularFile::Mode::Read, writing());
    }
    // A new file beside the script, renamed over it by commit(): never a direct
    // write, even where the folder forbids the new file.
    m_file.setDirectWriteFallback(false);
    if (!m_file.open(QIODevice::WriteOnly))
        fail();
    // The new file takes the old script's mode; a script may carry a
    // password, so only its owner may read it, whatever it was before.
    if (!m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        m_file.cancelWriting();
        fail();
    }
    m_buffer.reserve(kFlushAt + 4096);
}

ScriptWriter::~ScriptWriter()
{
    // An abandoned script leaves the old one in place; its copy is only ever
    // started whole.
    if (!m_closed) {
        m_file.cancelWriting();
        if (m_copy)
            m_copy->discard();
    }
}

void ScriptWriter::fail() const
{
    throw FileError(writing(), m_path, m_file.errorString());
}

void ScriptWriter::writeRunCopy()
{
    Q_ASSERT(m_buffer.isEmpty() && !m_closed);
    m_copy = std::make_unique<RunCopy>(m_path, m_dialect);
}

QString ScriptWriter::runPath() const
{
    return m_copy ? m_copy->path() : m_path;
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
        // The copy first: the script is put in place only once there is a
        // whole copy to run.
        if (m_copy)
            m_copy->close();
        m_closed = true;
        if (!m_file.commit())
            fail();
    } catch (const FileError &) {
        m_closed = true;
        m_file.cancelWriting();
        if (m_copy)
            m_copy->discard();
        throw;
    }
}

void ScriptWriter::flushBuffer()
{
    if (m_buffer.isEmpty())
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        fail();
    if (m_copy)
        m_copy->write(m_buffer);
    m_buffer.clear();
}
