#pragma once

#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"
#include "echowatch/records/metrics_registry.h"

#include <QHostAddress>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <mutex>
#include <string_view>
#include <vector>

#include <microhttpd.h>

namespace app {

// "http://127.0.0.1:9100/metrics", "http://[::1]:9100/metrics".
QString metricsUrl(const QHostAddress &address, quint16 port);

// /metrics for Prometheus. The figures may be recorded on any thread (the
// window queues them to this object's; the headless prober records them on
// its own); libmicrohttpd answers scrapes on a thread of its own, so a slow
// scraper never holds up the window and the window never waits for a
// scrape. libmicrohttpd rather than Qt's HTTP server, whose ABI changes
// with every Qt release: a package built against one would not start on
// the next. Any local user can reach the port, so it holds under abuse: few
// connections, fewer from one address, idle ones closed, descriptors kept
// in reserve for the rest of the program, and the server's messages said
// once rather than for each connection.
class MetricsServer : public QObject
{
    Q_OBJECT

public:
    MetricsServer(QHostAddress address, quint16 port);
    ~MetricsServer() override;
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Called on the server's thread, once it runs.
    void listen();
    // Any thread: the figures are kept under a lock.
    void recordProbe(const records::LoggedProbe &probe);
    void recordChange(const records::ActionFacts &facts);
    void recordWatch(const QString &host, bool watched);
    void recordClass(const QString &host, const QString &side);
    // How late the headless prober's requests left after their ticks.
    void recordSendDelays(const std::vector<std::int64_t> &microseconds);
    // The port served, once listen() has bound it; 0 before. Any thread.
    quint16 port() const noexcept { return m_servedPort; }

signals:
    // The address and port served, the port being the one given or, for 0,
    // the one the system chose.
    void listening(const QString &address, quint16 port);
    void failed(const QString &message);
    // What libmicrohttpd says once it serves (a refused connection, a
    // shortage), at most a line a minute; emitted on its thread.
    void warned(const QString &message);

private:
    MHD_Daemon *startDaemon(int socket);
    static MHD_Result answer(void *server, MHD_Connection *connection, const char *url,
                             const char *method, const char *version, const char *uploadData,
                             std::size_t *uploadSize, void **state);
    MHD_Result answer(MHD_Connection *connection, const char *url, const char *method);
    static void libraryMessage(void *server, const char *format, va_list arguments);
    void note(std::string_view text);

    QHostAddress m_address;
    quint16 m_port;
    MHD_Daemon *m_daemon = nullptr;
    // Scrapes read on libmicrohttpd's thread what probes write on another.
    std::mutex m_mutex;
    records::MetricsRegistry m_registry;
    std::atomic<quint16> m_servedPort{0};
    // The last message said and those held back since, on libmicrohttpd's
    // thread (or this one, while it starts).
    std::mutex m_noteMutex;
    bool m_noteSaid = false;
    std::chrono::steady_clock::time_point m_lastNote;
    unsigned long m_notesHeld = 0;
};

} // namespace app
