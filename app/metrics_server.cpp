#include "echowatch/app/metrics_server.h"

#include <microhttpd.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace app {

namespace {

// A socket of our own, so that a port already taken is said in the
// system's words; -1 with errno set when it cannot be had.
int listeningSocket(const QHostAddress &address, quint16 port)
{
    sockaddr_storage place{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(place);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6.sin6_addr, &bytes, sizeof in6.sin6_addr);
        length = sizeof in6;
    } else {
        auto &in4 = reinterpret_cast<sockaddr_in &>(place);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
        in4.sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof in4;
    }
    const int socket = ::socket(place.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(socket, reinterpret_cast<sockaddr *>(&place), length) != 0 ||
        ::listen(socket, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(socket);
        errno = error;
        return -1;
    }
    return socket;
}

quint16 boundPort(int socket)
{
    sockaddr_storage place{};
    socklen_t length = sizeof place;
    if (::getsockname(socket, reinterpret_cast<sockaddr *>(&place), &length) != 0)
        return 0;
    return ntohs(place.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 &>(place).sin6_port
                                             : reinterpret_cast<sockaddr_in &>(place).sin_port);
}

MHD_Result respond(MHD_Connection *connection, unsigned int status, const std::string &body,
                   const char *contentType)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        body.size(), const_cast<char *>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace

MetricsServer::MetricsServer(QHostAddress address, quint16 port)
    : m_address(std::move(address)), m_port(port)
{}

MetricsServer::~MetricsServer()
{
    // Waits for a scrape under way, which only reads the figures.
    if (m_daemon != nullptr)
        MHD_stop_daemon(m_daemon);
}

void MetricsServer::listen()
{
    const int socket = listeningSocket(m_address, m_port);
    if (socket < 0) {
        emit failed(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const quint16 port = boundPort(socket);
    unsigned int flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG;
    if (m_address.protocol() == QAbstractSocket::IPv6Protocol)
        flags |= MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &MetricsServer::answer, this,
                                MHD_OPTION_LISTEN_SOCKET, socket, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        ::close(socket);
        emit failed(tr("the HTTP server did not start"));
        return;
    }
    m_servedPort = port;
    emit listening(m_address.toString(), port);
}

MHD_Result MetricsServer::answer(void *server, MHD_Connection *connection, const char *url,
                                 const char *method, const char *, const char *, std::size_t *,
                                 void **)
{
    return static_cast<MetricsServer *>(server)->answer(connection, url, method);
}

MHD_Result MetricsServer::answer(MHD_Connection *connection, const char *url, const char *method)
{
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                     std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!get)
        return respond(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "", "text/plain");
    if (std::strcmp(url, "/metrics") != 0)
        return respond(connection, MHD_HTTP_NOT_FOUND, "", "text/plain");
    std::string text;
    {
        const std::lock_guard lock(m_mutex);
        text = m_registry.exposition();
    }
    return respond(connection, MHD_HTTP_OK, text,
                   std::string(records::ExpositionContentType).c_str());
}

void MetricsServer::recordProbe(const records::LoggedProbe &probe)
{
    if (!probe.sent)
        return;
    const std::lock_guard lock(m_mutex);
    m_registry.recordProbe(probe.host, probe.status, probe.roundTripMicroseconds);
}

void MetricsServer::recordChange(const records::ActionFacts &facts)
{
    const std::lock_guard lock(m_mutex);
    if (facts.change == records::ActionFacts::Change::Down)
        m_registry.recordDown(facts.host);
    else
        m_registry.recordUp(facts.host);
}

void MetricsServer::recordWatch(const QString &host, bool watched)
{
    const std::lock_guard lock(m_mutex);
    m_registry.recordWatch(host.toStdString(), watched);
}

} // namespace app
