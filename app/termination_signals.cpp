#include "echowatch/app/termination_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace app {

namespace {

// Where the handler writes: the one pipe of the one TerminationSignals.
volatile std::sig_atomic_t writeEnd = -1;

constexpr std::array HandledSignals{SIGTERM, SIGINT, SIGHUP};

extern "C" void tellLoop(int signal)
{
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    // A full pipe already holds a signal to be read: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

// What each signal did before; one ignored (a background job's SIGINT)
// stays ignored.
std::array<struct sigaction, HandledSignals.size()> previous{};

void handleSignals(TerminationSignals::Hangup hangup)
{
    struct sigaction action = {};
    action.sa_handler = tellLoop;
    sigemptyset(&action.sa_mask);
    // Interrupted calls go on: a signal must not fail a read elsewhere.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < HandledSignals.size(); ++index) {
        ::sigaction(HandledSignals[index], nullptr, &previous[index]);
        const bool told =
            HandledSignals[index] != SIGHUP || hangup == TerminationSignals::Hangup::Told;
        if (told && previous[index].sa_handler != SIG_IGN)
            ::sigaction(HandledSignals[index], &action, nullptr);
    }
}

void restoreSignals()
{
    for (std::size_t index = 0; index < HandledSignals.size(); ++index)
        ::sigaction(HandledSignals[index], &previous[index], nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent, Hangup hangup) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    handleSignals(hangup);
}

TerminationSignals::~TerminationSignals()
{
    if (m_notifier == nullptr)
        return;
    restoreSignals();
    writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void TerminationSignals::readPipe()
{
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        emit received(number);
}

} // namespace app
