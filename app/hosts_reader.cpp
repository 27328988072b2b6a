#include "echowatch/app/hosts_reader.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace app {

// Where a reading thread hands its result; emptied when the reader goes,
// under the lock the thread hands over under.
struct HostsReader::Mailbox
{
    std::mutex mutex;
    HostsReader *reader = nullptr;
};

HostsReader::HostsReader(fleet::NameResolver resolve, QObject *parent)
    : QObject(parent), m_resolve(std::move(resolve)), m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->reader = this;
}

HostsReader::~HostsReader()
{
    const std::lock_guard lock(m_mailbox->mutex);
    m_mailbox->reader = nullptr;
}

bool HostsReader::read(std::vector<std::string> given, std::optional<std::string> hostsFile,
                       Done done)
{
    auto work = [mailbox = m_mailbox, resolve = m_resolve, given = std::move(given),
                 hostsFile = std::move(hostsFile), done = std::move(done)] {
        fleet::HostsReading reading = fleet::readHosts(given, hostsFile, resolve);
        const std::lock_guard lock(mailbox->mutex);
        if (mailbox->reader == nullptr)
            return;
        QMetaObject::invokeMethod(
            mailbox->reader,
            [done, reading = std::move(reading)] { done(reading); }, Qt::QueuedConnection);
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

} // namespace app
