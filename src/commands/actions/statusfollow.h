#pragma once

#include "commands/scripts/scriptrunner.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

// Follows the answer of one status query for the output box, never on the
// calling thread. After the pause the box gets what has arrived by then (the
// missing-file text if nothing has), and afterwards whatever arrives next, as it
// comes, until the script ends; at the reader's limit the script is stopped and
// the cut line follows. Then the box holds exactly what the result file holds.
//
// Dropping a follow stops nothing: the script runs on, and the reading ends
// within a moment, waited for by no one.
class StatusFollow : public QObject
{
    Q_OBJECT

public:
    // How often the reader looks for more.
    static constexpr int kPollMs = 50;

    StatusFollow(const ScriptRunner::StartedScript &script, const QString &resultPath, int pauseMs);
    ~StatusFollow() override;

    // What to show next, taken. `whole`: it takes the place of the box's text;
    // otherwise it is added at the end.
    QString take(bool *whole);
    // The script has ended and everything it wrote has been taken.
    bool done() const { return m_done; }

protected:
    bool event(QEvent *event) override;

signals:
    // take() has something.
    void arrived();
    // Reading failed: the reason, in the operator's language.
    void failed(const QString &message);
    // The script has ended and all of its answer has been taken.
    void finished();

private:
    struct Shared;
    void startReading();
    // Hands on what the reader has published.
    void deliver();

    std::shared_ptr<Shared> m_shared;
    QTimer m_pause;
    bool m_done = false;
};
