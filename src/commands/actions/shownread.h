#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

// A text for the output box read off the calling thread: several servers'
// earlier answers are 10,000 result files a server, and on a busy disk twenty
// servers' take seconds, which the window's thread would spend not painting.
// The read runs on the purge workers; progressed() tells as its parts (a
// server's files each) are read, so that what waits for a part need not wait
// for all, and finished() when its text, or why there is none, can be taken.
// One dropped before it ends is cancelled, and tells nothing.
class ShownRead : public QObject
{
    Q_OBJECT

public:
    // Gives the text, telling in `parts` how many of its parts are read; gives
    // up, with any text, once `cancelled` is set. May throw: take() throws
    // the same.
    using Reader = std::function<QString(const std::atomic_bool &cancelled, std::atomic<qsizetype> &parts)>;

    ShownRead(quint64 id, Reader reader);
    ~ShownRead() override;

    quint64 id() const { return m_id; }
    // The read has ended, with its text or with a failure.
    bool done() const { return m_taken || m_read.isFinished(); }
    // Blocks until done().
    void wait() { m_read.waitForFinished(); }
    bool failed() const;
    // How many parts are read, as the reader told; progressed() tells when
    // more are, at most every kPollMs.
    qsizetype partsRead() const { return m_parts->load(); }
    // The text, once; throws what the reader threw.
    QString take();

    static constexpr int kPollMs = 100;

signals:
    void progressed(quint64 id);
    void finished(quint64 id);

private:
    struct Outcome
    {
        QString text;
        std::exception_ptr failure;
    };

    quint64 m_id;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    std::shared_ptr<std::atomic<qsizetype>> m_parts = std::make_shared<std::atomic<qsizetype>>(0);
    QTimer m_poll;
    qsizetype m_partsTold = 0;
    QFutureWatcher<Outcome> m_read;
    bool m_taken = false;
};
