#pragma once

#include "echowatch/fleet/fleet_probes.h"

#include <QObject>

#include <memory>
#include <span>
#include <vector>

namespace app {

// The headless prober's probes: its hosts' ticks kept and their requests in
// flight on threads of their own (fleet::FleetProbes), the outcomes handed
// to this object's thread, the event loop's, a batch at a time, so that it
// never waits for the network.
class HeadlessProbes : public QObject
{
    Q_OBJECT

public:
    // clock must outlive the probes.
    HeadlessProbes(fleet::EchoLibraryFactory factory, const fleet::ProberClock &clock,
                   std::chrono::milliseconds interval, QObject *parent);
    ~HeadlessProbes() override;

    bool add(std::span<const fleet::HostAddress> hosts) { return m_probes.add(hosts); }
    void remove(fleet::HostKey host) { m_probes.remove(host); }
    // No probe is told after this returns.
    void stop();

signals:
    // Each host's in the order its requests went out.
    void probed(const std::vector<fleet::FleetProbe> &probes);

private:
    fleet::FleetProbes m_probes;
    bool m_stopped = false;
};

} // namespace app
