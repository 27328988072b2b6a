#pragma once

#include "echowatch/host/host_events.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace host {
class HostEventSignals;
} // namespace host

namespace store {
class HistoryAppender;
} // namespace store

namespace history_view {

// Keeps what the host monitor tells, every probe, each watch of a host and
// the verdicts filed with its outages and its slow periods, in a history
// file, once one is
// chosen: the window's (HistoryFile) and the headless prober's alike,
// without a window. The writing is on a thread of its own; when it fails
// the warning goes to standard error once, and warningChanged tells it
// until writing works again. Destroying it commits what is queued.
class HistoryRecorder : public QObject
{
    Q_OBJECT

public:
    // events must outlive the recorder.
    HistoryRecorder(const host::HostEventSignals &events, int keepDays, QObject *parent);
    ~HistoryRecorder() override;

    // Appends from the next event on; a file chosen before is closed first.
    void keepIn(const QString &path);

    bool keeping() const noexcept { return m_appender != nullptr; }
    QString path() const { return m_path; }
    int keepDays() const { return m_keepDays; }
    QString warning() const { return m_warning; }

signals:
    // Empty when writing works again.
    void warningChanged(const QString &text);

private:
    void appendProbe(const host::ProbeTaken &taken);
    void startWatch(const host::WatchStarted &started);
    void endWatch(const host::WatchEnded &ended);
    void keepVerdict(const host::VerdictFiled &filed);
    void keepSlowPeriod(const host::HostIdentity &host, host::Milliseconds since,
                        std::optional<host::Milliseconds> until,
                        const host::RoundTripFigures &figures);
    void showWarning(const QString &text);

    const int m_keepDays;
    QString m_path;
    QString m_warning;
    std::unique_ptr<store::HistoryAppender> m_appender;
};

} // namespace history_view
