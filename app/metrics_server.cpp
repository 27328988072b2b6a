#include "echowatch/app/metrics_server.h"

#include "echowatch/net/descriptor_room.h"

#include <QUrl>

#include <microhttpd.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace app {

namespace {

// Anyone on the machine may connect, and some will hold connections open
// or trickle a request byte by byte. A scrape takes one connection for a
// moment, so few are needed; the descriptors kept in reserve are for the
// probes, the log, the commands and the traces, which must never go
// without because of the port.
constexpr std::size_t MostConnections = 64;
constexpr std::size_t ReservedDescriptors = 128;
// One source may hold no more than this, so that one user's flood leaves
// room for the scraper.
constexpr unsigned int MostConnectionsPerAddress = 8;
// A connection that says nothing for this long is closed.
constexpr unsigned int IdleSeconds = 10;
// libmicrohttpd's own messages, at most one line in this time.
constexpr auto MessageSpacing = std::chrono::minutes(1);

unsigned int connectionLimit()
{
    const std::size_t descriptors = net::descriptorLimit();
    const std::size_t room = descriptors > ReservedDescriptors + 1
                                 ? descriptors - ReservedDescriptors
                                 : 1;
    return static_cast<unsigned int>(std::min(room, MostConnections));
}

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

QString metricsUrl(const QHostAddress &address, quint16 port)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(address.toString());
    url.setPort(port);
    url.setPath(QStringLiteral("/metrics"));
    return url.toString();
}

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
    m_daemon = startDaemon(socket);
    if (m_daemon == nullptr) {
        ::close(socket);
        emit failed(tr("the HTTP server did not start"));
        return;
    }
    m_servedPort = port;
    emit listening(m_address.toString(), port);
}

// On its own thread over epoll (where the system has it): no limit of 1024
// descriptors as with select(), and no busy loop when one is refused. The
// logger comes first, so that no message of the start escapes it.
MHD_Daemon *MetricsServer::startDaemon(int socket)
{
    unsigned int flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
    if (m_address.protocol() == QAbstractSocket::IPv6Protocol)
        flags |= MHD_USE_IPv6;
    void *const server = this;
    return MHD_start_daemon(
        flags, 0, nullptr, nullptr, &MetricsServer::answer, server, MHD_OPTION_EXTERNAL_LOGGER,
        static_cast<MHD_LogCallback>(&MetricsServer::libraryMessage), server,
        MHD_OPTION_LISTEN_SOCKET, socket, MHD_OPTION_CONNECTION_LIMIT, connectionLimit(),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, MostConnectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, IdleSeconds, MHD_OPTION_END);
}

void MetricsServer::libraryMessage(void *server, const char *format, va_list arguments)
{
    char text[256] = {};
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<MetricsServer *>(server)->note(text);
}

// A flood of connections makes libmicrohttpd say the same few things for
// each one: the first is said, and then at most one a minute, with how
// many were held back.
void MetricsServer::note(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '.'))
        text.remove_suffix(1);
    QString line = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    {
        const std::lock_guard lock(m_noteMutex);
        const auto now = std::chrono::steady_clock::now();
        if (m_noteSaid && now - m_lastNote < MessageSpacing) {
            ++m_notesHeld;
            return;
        }
        if (m_notesHeld > 0)
            line += tr(" (and %n more messages from the HTTP server since the last)", "",
                       static_cast<int>(m_notesHeld));
        m_noteSaid = true;
        m_lastNote = now;
        m_notesHeld = 0;
    }
    emit warned(line);
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
    using Change = records::ActionFacts::Change;
    const std::lock_guard lock(m_mutex);
    switch (facts.change) {
    case Change::Down:
        m_registry.recordDown(facts.host);
        break;
    case Change::Up:
        m_registry.recordUp(facts.host);
        break;
    case Change::Slow:
    case Change::Normal:
        m_registry.recordSlow(facts.host, facts.change == Change::Slow);
        break;
    }
}

void MetricsServer::recordWatch(const QString &host, bool watched)
{
    const std::lock_guard lock(m_mutex);
    m_registry.recordWatch(host.toStdString(), watched);
}

void MetricsServer::recordClass(const QString &host, const QString &side)
{
    const std::lock_guard lock(m_mutex);
    m_registry.recordClass(host.toStdString(), side.toStdString());
}

void MetricsServer::recordSendDelays(const std::vector<std::int64_t> &microseconds)
{
    const std::lock_guard lock(m_mutex);
    for (const std::int64_t delay : microseconds)
        m_registry.recordSendDelay(delay);
}

} // namespace app
