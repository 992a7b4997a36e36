#include "commands/actions/shownread.h"

#include "commands/actions/purgeworkers.h"

#include <QtConcurrent>

ShownRead::ShownRead(quint64 id, Reader reader)
    : m_id(id)
{
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (m_parts->load() == m_partsTold)
            return;
        m_partsTold = m_parts->load();
        emit progressed(m_id);
    });
    m_poll.start(kPollMs);
    connect(&m_read, &QFutureWatcher<Outcome>::finished, this, [this] {
        m_poll.stop();
        // Taken by a wait already, or told by the empty future take() leaves.
        if (!m_taken && !m_cancelled->load())
            emit finished(m_id);
    });
    // The task keeps what it needs, and outlives this object if it must.
    m_read.setFuture(QtConcurrent::run(PurgeWorkers::pool(), [reader = std::move(reader), cancelled = m_cancelled,
                                                              parts = m_parts] {
        Outcome outcome;
        // Nothing may leave the task: its failure is the taker's to report.
        try {
            outcome.text = reader(*cancelled, *parts);
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        return outcome;
    }));
}

ShownRead::~ShownRead()
{
    m_cancelled->store(true);
}

bool ShownRead::failed() const
{
    return !m_taken && m_read.isFinished() && m_read.result().failure;
}

QString ShownRead::take()
{
    wait();
    if (m_taken)
        return QString();
    m_taken = true;
    Outcome outcome = m_read.result();
    // The future keeps its own copy: up to 256 MiB, so it goes now.
    m_read.setFuture(QFuture<Outcome>());
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
    return std::move(outcome.text);
}
