#include "echowatch/alerts/turn_notifications.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/platform/translation.h"
#include "echowatch/probe/status_text.h"

#include <QDateTime>
#include <QLocale>

namespace alerts {

namespace {

constexpr platform::Translation tr{"HostAlerts"};

QString label(const host::HostIdentity &host)
{
    return QString::fromStdString(host.label);
}

QString timeOfDay(history::Milliseconds when)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(when).time(), QLocale::ShortFormat);
}

QString duration(history::Milliseconds length)
{
    return QString::fromStdString(history::durationText(length));
}

// "95% of answers within 182 ms over the last minute"
QString percentileWords(const host::RoundTripFigures &figures)
{
    return tr("%1% of answers within %2 over the last minute")
        .arg(figures.percentile)
        .arg(roundTripWords(figures.microseconds));
}

} // namespace

QString roundTripWords(std::int64_t microseconds)
{
    constexpr double MicrosecondsPerMillisecond = 1000.0;
    const double milliseconds = static_cast<double>(microseconds) / MicrosecondsPerMillisecond;
    const int decimals = milliseconds >= 10.0 ? 0 : milliseconds >= 1.0 ? 1 : 2;
    return tr("%1 ms").arg(QLocale().toString(milliseconds, 'f', decimals));
}

platform::Notification slowNotification(const host::SlowStarted &slow)
{
    QString body = percentileWords(slow.figures);
    if (slow.figures.usualMicroseconds)
        body = tr("%1, usually %2").arg(body, roundTripWords(*slow.figures.usualMicroseconds));
    return {tr("%1 is slow").arg(label(slow.host)), body + QLatin1Char('.'),
            platform::NotificationUrgency::Normal, QString()};
}

platform::Notification normalNotification(const host::SlowEnded &normal)
{
    return {tr("%1 is normal again").arg(label(normal.host)),
            tr("%1; slow for %2.")
                .arg(percentileWords(normal.figures), duration(normal.until - normal.since)),
            platform::NotificationUrgency::Normal, QString()};
}

platform::Notification flappingNotification(const host::FlappingStarted &flapping,
                                            const QString &soundName)
{
    return {tr("%1 is flapping").arg(label(flapping.host)),
            tr("Down %1 times since %2. Its downs and ups are not told one by one until it "
               "has stayed up or down for %3.")
                .arg(flapping.downs)
                .arg(timeOfDay(flapping.since))
                .arg(duration(flapping.window.count())),
            platform::NotificationUrgency::Critical, soundName};
}

platform::Notification settledNotification(const host::FlappingSettled &settled,
                                           const QString &soundName)
{
    const QString flapped = tr("after %1 downs in %2")
                                .arg(settled.downs)
                                .arg(duration(settled.at - settled.since));
    if (!settled.down)
        return {tr("%1 has settled: up").arg(label(settled.host)),
                tr("Up since %1, %2.")
                    .arg(timeOfDay(settled.figures.end.value_or(settled.at)), flapped),
                platform::NotificationUrgency::Normal, soundName};
    return {tr("%1 has settled: down").arg(label(settled.host)),
            tr("No answer since %1, %2.\n%3")
                .arg(timeOfDay(settled.figures.start), flapped,
                     QString::fromStdString(StatusText(settled.latest.status))),
            platform::NotificationUrgency::Critical, soundName};
}

} // namespace alerts
