#pragma once

#include "echowatch/host/host_events.h"

#include <QMetaType>
#include <QObject>

Q_DECLARE_METATYPE(host::WatchStarted)
Q_DECLARE_METATYPE(host::ProbeTaken)
Q_DECLARE_METATYPE(host::HostDown)
Q_DECLARE_METATYPE(host::HostUp)
Q_DECLARE_METATYPE(host::WatchEnded)
Q_DECLARE_METATYPE(host::VerdictFiled)
Q_DECLARE_METATYPE(host::SlowStarted)
Q_DECLARE_METATYPE(host::SlowEnded)
Q_DECLARE_METATYPE(host::FlappingStarted)
Q_DECLARE_METATYPE(host::FlappingSettled)

namespace host {

// The monitors' events as Qt signals, for the features that listen on the
// GUI thread or, queued, on threads of their own. Emitted in the order the
// monitors decide.
class HostEventSignals final : public QObject, public EventSink
{
    Q_OBJECT

public:
    explicit HostEventSignals(QObject *parent = nullptr);

    void watchStarted(const WatchStarted &event) override { emit started(event); }
    void probeTaken(const ProbeTaken &event) override { emit taken(event); }
    void hostDown(const HostDown &event) override { emit down(event); }
    void hostUp(const HostUp &event) override { emit up(event); }
    void watchEnded(const WatchEnded &event) override { emit ended(event); }
    void verdictFiled(const VerdictFiled &event) override { emit filed(event); }
    void slowStarted(const SlowStarted &event) override { emit slow(event); }
    void slowEnded(const SlowEnded &event) override { emit normal(event); }
    void flappingStarted(const FlappingStarted &event) override { emit flapping(event); }
    void flappingSettled(const FlappingSettled &event) override { emit settled(event); }

signals:
    void started(const host::WatchStarted &event);
    void taken(const host::ProbeTaken &event);
    void down(const host::HostDown &event);
    void up(const host::HostUp &event);
    void ended(const host::WatchEnded &event);
    void filed(const host::VerdictFiled &event);
    void slow(const host::SlowStarted &event);
    // A slow period ended, the host's way (normal again) or another's.
    void normal(const host::SlowEnded &event);
    void flapping(const host::FlappingStarted &event);
    void settled(const host::FlappingSettled &event);
};

} // namespace host
