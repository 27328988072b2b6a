#include "echowatch/history_view/history_recorder.h"

#include "echowatch/host/host_event_signals.h"
#include "echowatch/store/history_appender.h"

#include <QDir>

#include <cstdio>

namespace history_view {

namespace {

store::WatchEndReason reasonOf(host::WatchEnd why)
{
    switch (why) {
    case host::WatchEnd::Stopped:
        return store::WatchEndReason::Stopped;
    case host::WatchEnd::AddressChanged:
        return store::WatchEndReason::AddressChanged;
    case host::WatchEnd::Closed:
        return store::WatchEndReason::Closed;
    case host::WatchEnd::Sleep:
        return store::WatchEndReason::Sleep;
    }
    return store::WatchEndReason::Unknown;
}

} // namespace

HistoryRecorder::HistoryRecorder(const host::HostEventSignals &events, int keepDays,
                                 QObject *parent)
    : QObject(parent), m_keepDays(keepDays)
{
    setObjectName(QStringLiteral("HistoryRecorder"));
    connect(&events, &host::HostEventSignals::taken, this, &HistoryRecorder::appendProbe);
    connect(&events, &host::HostEventSignals::started, this, &HistoryRecorder::startWatch);
    connect(&events, &host::HostEventSignals::ended, this, &HistoryRecorder::endWatch);
    connect(&events, &host::HostEventSignals::filed, this, &HistoryRecorder::keepVerdict);
    connect(&events, &host::HostEventSignals::slow, this, [this](const host::SlowStarted &slow) {
        keepSlowPeriod(slow.host, slow.since, std::nullopt, slow.figures);
    });
    connect(&events, &host::HostEventSignals::normal, this, [this](const host::SlowEnded &ended) {
        keepSlowPeriod(ended.host, ended.since, ended.until, ended.figures);
    });
}

// The appender commits what is queued as it ends, on its own thread.
HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::keepIn(const QString &path)
{
    m_appender.reset();
    showWarning({});
    m_path = path;
    store::AppenderOptions options;
    options.path = QDir::cleanPath(path).toStdString();
    options.retention.probeDays = m_keepDays;
    options.onWarning = [this](const std::string &text) {
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdString(text)] { showWarning(text); },
            Qt::QueuedConnection);
    };
    m_appender = std::make_unique<store::HistoryAppender>(std::move(options));
}

// A verdict is kept only where it tells where: a trace found it, or the
// outage was classed without one.
void HistoryRecorder::keepVerdict(const host::VerdictFiled &filed)
{
    if (m_appender && host::tellsWhere(filed.verdict))
        m_appender->notePathVerdict(filed.host.dotted, filed.outageStart, filed.verdict.text,
                                    std::string(host::sideName(filed.verdict.side)));
}

namespace {

// What made the host slow, as JSON: {"percentile":95,"over_ms":100,
// "round_trip_ms":182.000,"answers":60,"usual_ms":47.000}.
std::string figuresText(const host::RoundTripFigures &figures)
{
    const auto milliseconds = [](std::int64_t microseconds) {
        return QString::number(static_cast<double>(microseconds) / 1000.0, 'f', 3);
    };
    QString text = QStringLiteral("{\"percentile\":%1,\"over_ms\":%2,\"round_trip_ms\":%3,"
                                  "\"answers\":%4")
                       .arg(figures.percentile)
                       .arg(figures.overMilliseconds)
                       .arg(milliseconds(figures.microseconds))
                       .arg(figures.answers);
    if (figures.usualMicroseconds)
        text += QStringLiteral(",\"usual_ms\":") + milliseconds(*figures.usualMicroseconds);
    return (text + QLatin1Char('}')).toStdString();
}

} // namespace

// Written as it starts, and again as it ends (a file chosen in between
// gets the period then).
void HistoryRecorder::keepSlowPeriod(const host::HostIdentity &host, host::Milliseconds since,
                                     std::optional<host::Milliseconds> until,
                                     const host::RoundTripFigures &figures)
{
    if (m_appender)
        m_appender->noteSlowPeriod(host.dotted, since, until, figuresText(figures));
}

// A file chosen during a watch has it from its next probe on: what came
// before was watched, but not kept there.
void HistoryRecorder::startWatch(const host::WatchStarted &started)
{
    if (m_appender)
        m_appender->startWatch(started.host.dotted, started.at);
}

// An outage open in the file then ends there, not watched.
void HistoryRecorder::endWatch(const host::WatchEnded &ended)
{
    if (m_appender)
        m_appender->endWatch(ended.host.dotted, ended.at, reasonOf(ended.why));
}

// A probe never sent is kept with the host probed before it, as the
// History window counts it; before any host, it has none to go with.
void HistoryRecorder::appendProbe(const host::ProbeTaken &taken)
{
    if (!taken.host || !m_appender)
        return;
    const probe::ProbeEvent &probe = taken.probe;
    m_appender->append(taken.host->dotted,
                       history::ProbeSample(host::millisecondsOf(probe.sentAt), probe.status,
                                            probe.details.roundTripMicroseconds, probe.replySize));
}

void HistoryRecorder::showWarning(const QString &text)
{
    if (text == m_warning)
        return;
    m_warning = text;
    if (!text.isEmpty())
        std::fprintf(stderr, "echowatch: warning: %s\n", text.toLocal8Bit().constData());
    emit warningChanged(text);
}

} // namespace history_view
