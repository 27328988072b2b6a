#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

// SIGTERM and SIGINT told on the event loop's thread, so that the program
// ends as closing its window does; and, where asked, SIGHUP, which a
// service's reload sends. The handler only writes a byte to a pipe
// (async-signal-safe); the loop reads it. One at a time in a process: the
// handlers it sets are put back to what they were when it goes.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    enum class Hangup
    {
        Untouched, // SIGHUP ends the program, as by default
        Told,
    };

    explicit TerminationSignals(QObject *parent = nullptr, Hangup hangup = Hangup::Untouched);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

signals:
    // The signal's number.
    void received(int signal);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace app
