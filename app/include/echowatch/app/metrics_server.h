#pragma once

#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"
#include "echowatch/records/metrics_registry.h"

#include <QHostAddress>
#include <QObject>

class QHttpServer;

namespace app {

// /metrics for Prometheus, on a thread of its own: the figures live there,
// fed by queued signals, so a slow scraper never holds up the window and
// the window never waits for a scrape.
class MetricsServer : public QObject
{
    Q_OBJECT

public:
    MetricsServer(QHostAddress address, quint16 port);

    // Called on the server's thread, once it runs.
    void listen();
    void recordProbe(const records::LoggedProbe &probe);
    void recordChange(const records::ActionFacts &facts);

signals:
    // The address and port served, the port being the one given or, for 0,
    // the one the system chose.
    void listening(const QString &address, quint16 port);
    void failed(const QString &message);

private:
    QHostAddress m_address;
    quint16 m_port;
    QHttpServer *m_server = nullptr;
    records::MetricsRegistry m_registry;
};

} // namespace app
