#include "echowatch/app/metrics_server.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QTcpServer>

namespace app {

MetricsServer::MetricsServer(QHostAddress address, quint16 port)
    : m_address(std::move(address)), m_port(port)
{}

void MetricsServer::listen()
{
    m_server = new QHttpServer(this);
    m_server->route(QStringLiteral("/metrics"), [this] {
        const std::string text = m_registry.exposition();
        return QHttpServerResponse(
            QByteArray(records::ExpositionContentType.data(),
                       static_cast<qsizetype>(records::ExpositionContentType.size())),
            QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    });
    // A server of our own, so that a port already taken is said in the
    // system's words.
    auto *socket = new QTcpServer(m_server);
    if (!socket->listen(m_address, m_port)) {
        emit failed(socket->errorString());
        return;
    }
    m_server->bind(socket);
    emit listening(m_address.toString(), socket->serverPort());
}

void MetricsServer::recordProbe(const records::LoggedProbe &probe)
{
    // Text that was no address sent no request.
    if (probe.address.empty())
        return;
    m_registry.recordProbe(probe.host, probe.status, probe.roundTripMicroseconds);
}

void MetricsServer::recordChange(const records::ActionFacts &facts)
{
    if (facts.change == records::ActionFacts::Change::Down)
        m_registry.recordDown(facts.host);
    else
        m_registry.recordUp(facts.host);
}

} // namespace app
