#include "echowatch/app/records_feed.h"

#include "echowatch/host/host_event_signals.h"

namespace app {

namespace {

// A probe never sent went to no host: its line names none.
records::LoggedProbe loggedProbe(const host::ProbeTaken &taken)
{
    const probe::ProbeEvent &probe = taken.probe;
    records::LoggedProbe logged{{},
                                {},
                                host::millisecondsOf(probe.sentAt),
                                probe.status,
                                probe.details.roundTripMicroseconds,
                                probe.replySize,
                                taken.sent};
    if (taken.sent) {
        logged.host = taken.host->label;
        logged.address = taken.host->dotted;
    }
    return logged;
}

} // namespace

records::ActionFacts actionFacts(records::ActionFacts::Change change, const host::OutageTurn &turn)
{
    return {change,
            turn.host.label,
            turn.host.dotted,
            turn.figures.start,
            turn.figures.cause(),
            static_cast<int>(turn.figures.probesLost),
            std::nullopt,
            std::nullopt,
            false,
            std::nullopt};
}

records::ActionFacts downFacts(const host::HostDown &down)
{
    records::ActionFacts facts = actionFacts(records::ActionFacts::Change::Down, down);
    if (down.by == host::DownBy::Loss)
        facts.loss = records::ActionFacts::Loss{static_cast<int>(down.loss.failed),
                                                static_cast<int>(down.loss.window)};
    return facts;
}

records::ActionFacts slowFacts(records::ActionFacts::Change change, const host::HostIdentity &host,
                               host::Milliseconds since, const host::RoundTripFigures &figures)
{
    records::ActionFacts facts;
    facts.change = change;
    facts.host = host.label;
    facts.address = host.dotted;
    facts.since = since;
    facts.roundTrips = records::ActionFacts::RoundTrips{figures.percentile, figures.microseconds,
                                                        figures.usualMicroseconds};
    return facts;
}

RecordsFeed::RecordsFeed(const host::HostEventSignals &events, QObject *parent) : QObject(parent)
{
    qRegisterMetaType<records::LoggedProbe>();
    qRegisterMetaType<records::ActionFacts>();
    using Change = records::ActionFacts::Change;
    connect(&events, &host::HostEventSignals::taken, this,
            [this](const host::ProbeTaken &taken) { emit probeLogged(loggedProbe(taken)); });
    connect(&events, &host::HostEventSignals::down, this,
            [this](const host::HostDown &down) { emit hostChanged(downFacts(down)); });
    connect(&events, &host::HostEventSignals::up, this,
            [this](const host::HostUp &up) { emit hostChanged(actionFacts(Change::Up, up)); });
    connect(&events, &host::HostEventSignals::slow, this, [this](const host::SlowStarted &slow) {
        emit hostChanged(slowFacts(Change::Slow, slow.host, slow.since, slow.figures));
    });
    connect(&events, &host::HostEventSignals::normal, this, [this](const host::SlowEnded &normal) {
        emit hostChanged(slowFacts(Change::Normal, normal.host, normal.since, normal.figures));
    });
    // A verdict that tells nothing of where (no trace ran and nothing else
    // classed it) is in no class's count.
    connect(&events, &host::HostEventSignals::filed, this, [this](const host::VerdictFiled &filed) {
        if (!host::tellsWhere(filed.verdict))
            return;
        const std::string_view side = host::sideName(filed.verdict.side);
        emit outageClassed(QString::fromStdString(filed.host.label),
                           QString::fromUtf8(side.data(), static_cast<qsizetype>(side.size())));
    });
    connect(&events, &host::HostEventSignals::started, this,
            [this](const host::WatchStarted &started) {
                emit watchChanged(QString::fromStdString(started.host.label), true);
            });
    connect(&events, &host::HostEventSignals::ended, this, [this](const host::WatchEnded &ended) {
        emit watchChanged(QString::fromStdString(ended.host.label), false);
    });
}

} // namespace app
