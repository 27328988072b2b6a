#include "echowatch/alerts/command_run.h"

#include "echowatch/net/descriptor_room.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace alerts {

namespace {

// What a start needs: the pipes and the null device QProcess opens, and
// the child's report of its exec.
constexpr int StartDescriptors = 6;
// How long the window's end waits for a command asked to end before it
// kills what is left of its group.
constexpr int ExitWaitMilliseconds = 500;

// In the child, between fork and exec: only async-signal-safe calls. A
// session of its own makes the command the leader of a new group, which
// is also out of reach of the terminal's Ctrl+C.
void becomeGroupLeader()
{
    ::setsid();
    net::restoreStartingDescriptorLimit();
}

} // namespace

CommandRun::CommandRun(QStringList words, QProcessEnvironment environment,
                       std::chrono::milliseconds timeLimit, QObject *parent)
    : QObject(parent), m_words(std::move(words)), m_environment(std::move(environment)),
      m_deadline(new QTimer(this)), m_killTimer(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timeLimit);
    connect(m_deadline, &QTimer::timeout, this, &CommandRun::runOutOfTime);
    m_killTimer->setSingleShot(true);
    m_killTimer->setInterval(GraceTime);
    connect(m_killTimer, &QTimer::timeout, this, &CommandRun::killGroup);
}

// The window is closing: what is left of the command is asked to end, given
// a moment, and then killed, group and all.
CommandRun::~CommandRun()
{
    if (m_process != nullptr) {
        m_process->disconnect(this);
        signalGroup(SIGTERM);
        if (m_process->state() != QProcess::NotRunning)
            m_process->waitForFinished(ExitWaitMilliseconds);
    }
    signalGroup(SIGKILL);
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

void CommandRun::start()
{
    m_deadline->start();
    attempt();
}

void CommandRun::attempt()
{
    auto *process = new QProcess(this);
    m_process = process;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessEnvironment(m_environment);
    process->setChildProcessModifier(becomeGroupLeader);
    connect(process, &QProcess::started, this, [this, process] { noteStarted(process); });
    connect(process, &QProcess::finished, this, [this](int status, QProcess::ExitStatus how) {
        ended(status, how == QProcess::CrashExit);
    });
    // Qt 6.4 may report one failed start twice: the process, not a member
    // that the first report has cleared, tells them apart.
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failedToStart(process);
    });
    process->start(m_words.constFirst(), m_words.mid(1));
}

void CommandRun::runOutOfTime()
{
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_deadline->intervalAsDuration()).count();
    if (m_process == nullptr)
        emit said(tr("'%1' was not started: no descriptor came free in %2 s")
                      .arg(program())
                      .arg(seconds));
    else
        emit said(tr("'%1' ran for longer than %2 s and is ended").arg(program()).arg(seconds));
    end();
}

void CommandRun::noteStarted(QProcess *process)
{
    const pid_t leader = static_cast<pid_t>(process->processId());
    if (process == m_process && leader > 0 && ::getpgid(leader) == leader)
        m_group = leader;
}

// Out of descriptors is the process's passing state, not the command's
// fault: said once, and tried again until the command's time runs out.
void CommandRun::failedToStart(QProcess *process)
{
    if (process != m_process || m_finished)
        return;
    const QString problem =
        tr("'%1' could not be started: %2").arg(program(), process->errorString());
    m_process = nullptr;
    process->disconnect(this);
    process->deleteLater();
    if (net::descriptorsToSpare(StartDescriptors) || !m_deadline->isActive()) {
        emit said(problem);
        finish();
        return;
    }
    if (!m_shortageSaid)
        emit said(problem + tr("; no descriptor is free, trying again"));
    m_shortageSaid = true;
    QTimer::singleShot(RetrySpacing, this, [this] {
        if (!m_finished && m_process == nullptr)
            attempt();
    });
}

// How a command that was asked to end took it is no news.
void CommandRun::ended(int status, bool crashed)
{
    if (crashed && !m_endAsked)
        emit said(tr("'%1' ended abnormally").arg(program()));
    else if (!crashed && status != 0 && !m_endAsked)
        emit said(tr("'%1' exited with status %2").arg(program()).arg(status));
    // What the command started and left behind ends with it.
    endGroupLater();
    finish();
}

void CommandRun::end()
{
    m_endAsked = true;
    if (m_process == nullptr && !m_finished) {
        // Between two attempts to start: nothing runs yet.
        finish();
        return;
    }
    endGroupLater();
}

void CommandRun::signalGroup(int signal)
{
    if (m_group > 0)
        ::kill(-m_group, signal);
}

void CommandRun::endGroupLater()
{
    m_deadline->stop();
    if (m_killTimer->isActive())
        return;
    if (m_group > 0 && ::kill(-m_group, SIGTERM) == 0) {
        m_killTimer->start();
        return;
    }
    // Asked to end before its group was known: the command alone.
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        m_killTimer->start();
        return;
    }
    if (m_finished)
        deleteLater();
}

void CommandRun::killGroup()
{
    signalGroup(SIGKILL);
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning)
        m_process->kill();
    if (m_finished)
        deleteLater();
}

void CommandRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline->stop();
    emit finished();
    if (!m_killTimer->isActive())
        deleteLater();
}

} // namespace alerts
