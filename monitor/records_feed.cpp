#include "echowatch/monitor/records_feed.h"

#include "echowatch/monitor/form1.h"
#include "echowatch/monitor/host_naming.h"

#include <QLineEdit>

namespace {

history::Milliseconds millisecondsSinceEpoch(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

records::ActionFacts factsOf(const Outage &outage, const QString &host, const QString &address)
{
    return {outage.change == Outage::Change::Down ? records::ActionFacts::Change::Down
                                                  : records::ActionFacts::Change::Up,
            host.toStdString(),
            address.toStdString(),
            millisecondsSinceEpoch(outage.firstFailure.sentAt),
            outage.firstFailure.status,
            outage.probesLost,
            std::nullopt};
}

} // namespace

RecordsFeed::RecordsFeed(Form1 &window, const HostNaming &naming, int downAfter)
    : QObject(&window), m_window(window), m_naming(naming), m_tracker(downAfter)
{
    qRegisterMetaType<records::LoggedProbe>();
    qRegisterMetaType<records::ActionFacts>();
    connect(&window, &Form1::probeShown, this, &RecordsFeed::observe);
}

void RecordsFeed::observe(const probe::ProbeEvent &event)
{
    // The address is read at every tick; a new one is a new host.
    const QString address = m_window.Text1->text();
    if (address != m_address) {
        m_tracker.forget();
        m_address = address;
    }
    const QString host = m_naming.label(address);
    emit probeLogged({host.toStdString(), address.toStdString(),
                      millisecondsSinceEpoch(event.sentAt), event.status,
                      event.details.roundTripMicroseconds, event.replySize});
    if (const auto outage = m_tracker.observe(event))
        emit hostChanged(factsOf(*outage, host, address));
}
