#pragma once

#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/module1.h"
#include "echowatch/probe/probe_details.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <string_view>

namespace net {
class IcmpEchoLibrary;
class SocketsLibrary;
} // namespace net

namespace window {

// One tick's probe as the window asks for it: the address box's text at
// that tick, and a number that tells its result from any other's.
struct ProbeRequest
{
    std::uint64_t sequence = 0;
    QString address;
};

// A message box the probe asked for, to be shown by the window once it has
// shown the probe. The text is one of the probe's constants.
struct DeferredMessage
{
    std::string_view text;
    probe::MessageIcon icon = probe::MessageIcon::None;
};

// What one probe cycle came to: whether the sockets library started and, if
// it did, the probe's status, what its reply record held, what it learned
// beyond the record, and the warning stopping the library left, if any.
struct ProbeResult
{
    std::uint64_t sequence = 0;
    bool socketsStarted = false;
    EchoStatus status = 0;
    std::int32_t roundTripTime = 0;
    std::int32_t dataSize = 0;
    probe::ProbeDetails details;
    bool cleanupFailed = false;
    DeferredMessage cleanupWarning;
};

// Starts the sockets library, probes, and stops it, as one tick does, with
// the box that stopping may show kept for the window to show on its own
// thread. Plain C++: whichever thread runs it owns the services until it
// returns.
class ProbeCycle
{
public:
    ProbeCycle(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp) noexcept;

    ProbeResult run(const ProbeRequest &request) noexcept;

private:
    class KeptMessage final : public probe::MessageBox
    {
    public:
        void show(std::string_view text, probe::MessageIcon icon) noexcept override;
        bool shown = false;
        DeferredMessage message;
    };

    KeptMessage m_kept;
    Module1 m_module;
};

// Runs the window's probes one at a time and reports each by finished(),
// never from within start() itself unless it runs on the caller's thread.
class ProbeRunner : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start(const ProbeRequest &request) = 0;

signals:
    void finished(const window::ProbeResult &result);
};

// The cycle on the caller's thread, finished() emitted before start()
// returns: the tick as it was drawn, waiting for the answer. For tests that
// step the window tick by tick.
class InlineProbeRunner final : public ProbeRunner
{
    Q_OBJECT

public:
    InlineProbeRunner(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
                      QObject *parent = nullptr);

    void start(const ProbeRequest &request) override;

private:
    ProbeCycle m_cycle;
};

} // namespace window

Q_DECLARE_METATYPE(window::ProbeRequest)
Q_DECLARE_METATYPE(window::ProbeResult)
