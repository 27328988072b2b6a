#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>

#include <chrono>
#include <sys/types.h>

class QProcess;
class QTimer;

namespace alerts {

// One user's command, in a process group of its own that holds everything
// it starts, so that it has an end: the group is asked to end (SIGTERM) when
// its time runs out, when end() is called, and when the command itself ends
// with something of it left running; it is made to (SIGKILL) GraceTime
// later. Destroyed (at exit), it ends the group at once. Only the group made
// here is ever signalled, by an id checked to be positive and to be the
// command's own group.
class CommandRun : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds GraceTime{5};
    // Between attempts to start while the process has no descriptor free.
    static constexpr std::chrono::seconds RetrySpacing{1};

    // words: the program and its arguments, never run through a shell.
    CommandRun(QStringList words, QProcessEnvironment environment,
               std::chrono::milliseconds timeLimit, QObject *parent);
    ~CommandRun() override;
    CommandRun(const CommandRun &) = delete;
    CommandRun &operator=(const CommandRun &) = delete;

    void start();
    // Asks the command and what it started to end; they are made to end
    // GraceTime later.
    void end();
    const QString &program() const noexcept { return m_words.constFirst(); }

signals:
    // A problem to tell the user: a failed start, a status other than 0, a
    // command ended for its time.
    void said(const QString &problem);
    // Once, when the command has ended or will not start. Its group may
    // still be ending; this object deletes itself once the group is over.
    void finished();

private:
    void attempt();
    void runOutOfTime();
    void noteStarted(QProcess *process);
    void failedToStart(QProcess *process);
    void ended(int status, bool crashed);
    void signalGroup(int signal);
    void endGroupLater();
    void killGroup();
    void finish();

    QStringList m_words;
    QProcessEnvironment m_environment;
    QProcess *m_process = nullptr;
    QTimer *const m_deadline;
    QTimer *const m_killTimer;
    // The command's process group, once it is known to be its own; 0 before.
    pid_t m_group = 0;
    bool m_finished = false;
    bool m_endAsked = false;
    bool m_shortageSaid = false;
};

} // namespace alerts
