#include "echowatch/app/records_feed.h"

#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/host_naming.h"
#include "echowatch/window/form1.h"

namespace app {

namespace {

history::Milliseconds millisecondsSinceEpoch(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

records::ActionFacts factsOf(const alerts::HostChange &change, const QString &host,
                             const QString &address)
{
    return {change.kind == alerts::HostChange::Kind::Down ? records::ActionFacts::Change::Down
                                                          : records::ActionFacts::Change::Up,
            host.toStdString(),
            address.toStdString(),
            change.outage.start,
            change.outage.cause(),
            static_cast<int>(change.outage.probesLost),
            std::nullopt};
}

} // namespace

RecordsFeed::RecordsFeed(Form1 &window, const alerts::HostNaming &naming, int downAfter)
    : QObject(&window), m_naming(naming), m_state(downAfter)
{
    qRegisterMetaType<records::LoggedProbe>();
    qRegisterMetaType<records::ActionFacts>();
    connect(&window, &Form1::probeShown, this, &RecordsFeed::observe);
}

void RecordsFeed::observe(const probe::ProbeEvent &event)
{
    // A new address is a new host. A probe that was never sent names no
    // address; its line has none, and it is no request to count.
    const std::uint32_t destination = event.details.destination;
    if (destination != 0 && destination != m_destination) {
        m_state.forget();
        m_destination = destination;
    }
    const QString address = destination != 0 ? alerts::dottedAddress(destination) : QString();
    const QString host = m_naming.label(address);
    emit probeLogged({host.toStdString(), address.toStdString(),
                      millisecondsSinceEpoch(event.sentAt), event.status,
                      event.details.roundTripMicroseconds, event.replySize});
    if (const auto change = m_state.observe(event))
        emit hostChanged(factsOf(*change, host, address));
}

} // namespace app
