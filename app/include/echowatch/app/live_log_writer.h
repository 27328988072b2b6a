#pragma once

#include "echowatch/records/live_log.h"

#include <QObject>
#include <QString>

namespace app {

// The live log on a thread of its own, so that a slow or stuck disk never
// holds up the window. A failure is reported once, when it begins; the
// lines that follow try again.
class LiveLogWriter : public QObject
{
    Q_OBJECT

public:
    LiveLogWriter(const QString &path, records::LogFormat format);

    void append(const records::LoggedProbe &probe);
    void reopen();

signals:
    void failed(const QString &message);

private:
    records::LiveLog m_log;
    bool m_failing = false;
};

} // namespace app
