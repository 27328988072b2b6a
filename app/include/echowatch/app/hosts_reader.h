#pragma once

#include "echowatch/fleet/hosts_reading.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Reads the hosts file and looks the names up on a thread of its own, so
// that the event loop never waits for a disk or a resolver; the reading
// comes back to the loop's thread. A reading under way when the reader goes
// (the program ends during a slow look-up) is let finish unheard: nothing
// waits for it.
class HostsReader : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const fleet::HostsReading &reading)>;

    HostsReader(fleet::NameResolver resolve, QObject *parent);
    ~HostsReader() override;

    // done is called on this object's thread. False when no thread could
    // be started (no descriptor or memory to spare).
    bool read(std::vector<std::string> given, std::optional<std::string> hostsFile, Done done);

private:
    struct Mailbox;

    fleet::NameResolver m_resolve;
    std::shared_ptr<Mailbox> m_mailbox;
};

} // namespace app
