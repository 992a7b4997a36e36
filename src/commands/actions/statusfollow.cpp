#include "commands/actions/statusfollow.h"

#include "commands/actions/growinganswer.h"
#include "storage/actionerror.h"
#include "storage/textfile.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMutex>
#include <QThread>
#include <QThreadPool>

#include <atomic>

namespace {
// The followers' own threads. A follower holds its thread for the whole query,
// and a query that gets no answer runs for minutes: among the purges' workers
// it would hold back their reports (on one core there is one thread). A new query drops the last one's follower, whose thread is
// free within a poll; two at once is the most there ever are.
Q_GLOBAL_STATIC(QThreadPool, followers)
} // namespace

// Between the reader's thread and ours: the text read and not yet taken.
struct StatusFollow::Shared
{
    ScriptRunner::StartedScript script;
    QString resultPath;
    std::atomic_bool dropped{false};

    QMutex mutex;
    StatusFollow *owner = nullptr; // told of each new part, while it exists
    bool told = false;             // and not yet since its last deliver()
    QString text;
    bool whole = false; // text replaces what was shown
    bool ended = false;
    QString error;
    bool endsLine = true; // what was published so far ends with a line break, or is empty

    void publish(QString more, bool replace)
    {
        const QMutexLocker lock(&mutex);
        if (replace)
            endsLine = true;
        if (!more.isEmpty())
            endsLine = more.endsWith(QLatin1Char('\n'));
        if (replace) {
            text = std::move(more);
            whole = true;
        } else {
            text += more;
        }
        tell();
    }
    // Under the mutex, which the owner's destructor takes too: it is never
    // told once gone.
    void tell()
    {
        if (owner && !std::exchange(told, true))
            QCoreApplication::postEvent(owner, new QEvent(QEvent::User));
    }
    void read();
};

StatusFollow::StatusFollow(const ScriptRunner::StartedScript &script, const QString &resultPath, int pauseMs)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->script = script;
    m_shared->resultPath = resultPath;
    m_shared->owner = this;
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &StatusFollow::startReading);
    m_pause.start(pauseMs);
}

StatusFollow::~StatusFollow()
{
    m_shared->dropped = true;
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->owner = nullptr;
}

void StatusFollow::startReading()
{
    // The task keeps what it needs, and ends by itself once dropped.
    QThreadPool *pool = followers();
    if (pool->maxThreadCount() < 2)
        pool->setMaxThreadCount(2);
    pool->start([shared = m_shared] { shared->read(); });
}

bool StatusFollow::event(QEvent *event)
{
    if (event->type() != QEvent::User)
        return QObject::event(event);
    deliver();
    return true;
}

void StatusFollow::Shared::read()
{
    GrowingAnswer answer(resultPath);
    bool missingShown = false;
    bool first = true;
    try {
        while (!dropped) {
            // Asked before reading: once it has ended, this read is the last.
            const bool last = !ScriptRunner::isRunning(script);
            const bool seenBefore = answer.seen();
            QString more = answer.next(last);
            if (first && !answer.seen()) {
                publish(TextFile::missingFileText(), true);
                missingShown = true;
            } else if (first || answer.restarted() || (missingShown && !seenBefore && answer.seen())) {
                // The file's text in place of the missing-file text, or of an
                // answer that another query has since replaced.
                publish(std::move(more), true);
            } else if (!more.isEmpty()) {
                publish(std::move(more), false);
            }
            first = false;
            if (answer.cut()) {
                ScriptRunner::stop(script);
                // On a line of its own, as ResultReader ends a cut text.
                const QString line
                        = ResultReader::cutLine(ResultReader::Kind::Status, ResultReader::kMaxShownBytes, resultPath);
                publish(endsLine ? line : QStringLiteral("\r\n") + line, false);
                break;
            }
            if (last)
                break;
            for (int i = 0; i < 5 && !dropped; ++i)
                QThread::msleep(kPollMs / 5);
        }
    } catch (const ActionError &error) {
        const QMutexLocker lock(&mutex);
        this->error = error.message();
    }
    const QMutexLocker lock(&mutex);
    ended = true;
    tell();
}

QString StatusFollow::take(bool *whole)
{
    const QMutexLocker lock(&m_shared->mutex);
    *whole = std::exchange(m_shared->whole, false);
    return std::exchange(m_shared->text, QString());
}

void StatusFollow::deliver()
{
    bool something, ended;
    QString error;
    {
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->told = false;
        something = m_shared->whole || !m_shared->text.isEmpty();
        ended = m_shared->ended;
        error = std::exchange(m_shared->error, QString());
    }
    if (something)
        emit arrived();
    if (!error.isEmpty())
        emit failed(error);
    // Nothing is published after the end: all of it has been taken.
    if (ended) {
        m_done = true;
        emit finished();
    }
}
