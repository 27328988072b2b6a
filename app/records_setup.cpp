#include "echowatch/app/records_setup.h"

#include "echowatch/alerts/host_actions.h"
#include "echowatch/app/command_feed.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/live_log_writer.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/app/worker_thread.h"
#include "echowatch/platform/translation.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace app {

namespace {

void warn(const QString &text)
{
    const QByteArray line =
        (QCoreApplication::applicationName() + QStringLiteral(": ") + text + QLatin1Char('\n'))
            .toLocal8Bit();
    std::fputs(line.constData(), stderr);
}

constexpr platform::Translation tr{"Records"};

LiveLogWriter *attachLog(QObject &owner, const RecordsFeed &feed, const QString &path,
                         records::LogFormat format, RecordsOwner who)
{
    auto *writer = new LiveLogWriter(path, format);
    QObject::connect(&feed, &RecordsFeed::probeLogged, writer, &LiveLogWriter::append);
    const QString goesOn =
        who == RecordsOwner::Window ? tr("the window goes on probing") : tr("probing goes on");
    QObject::connect(writer, &LiveLogWriter::failed, &owner,
                     [path, goesOn](const QString &message) {
                         warn(tr("warning: --log %1: %2; %3")
                                  .arg(QDir::toNativeSeparators(path), message, goesOn));
                     });
    new WorkerThread(writer, QStringLiteral("log"), &owner);
    return writer;
}

MetricsServer *attachMetrics(QObject &owner, const RecordsFeed &feed,
                             const LaunchOptions::Endpoint &at, RecordsOwner who)
{
    auto *server = new MetricsServer(at.address, at.port);
    // A thousand hosts' probes queued to the server's thread wake it
    // hundreds of times a second for a moment's work under its lock: the
    // headless prober records them where they are told. The window keeps
    // them queued, so that its thread never meets a scrape's lock.
    const Qt::ConnectionType recorded =
        who == RecordsOwner::Headless ? Qt::DirectConnection : Qt::AutoConnection;
    QObject::connect(&feed, &RecordsFeed::probeLogged, server, &MetricsServer::recordProbe,
                     recorded);
    QObject::connect(&feed, &RecordsFeed::hostChanged, server, &MetricsServer::recordChange,
                     recorded);
    QObject::connect(&feed, &RecordsFeed::watchChanged, server, &MetricsServer::recordWatch,
                     recorded);
    QObject::connect(&feed, &RecordsFeed::outageClassed, server, &MetricsServer::recordClass,
                     recorded);
    if (who == RecordsOwner::Window) {
        QObject::connect(server, &MetricsServer::failed, &owner, [](const QString &message) {
            warn(tr("warning: --metrics: %1; the window runs without metrics").arg(message));
        });
    }
    QObject::connect(server, &MetricsServer::warned, &owner, [](const QString &message) {
        warn(tr("warning: --metrics: %1").arg(message));
    });
    // Said only for a port the system chose, which nobody else can know.
    if (at.port == 0) {
        QObject::connect(server, &MetricsServer::listening, &owner,
                         [](const QString &address, quint16 port) {
                             warn(tr("metrics at %1").arg(metricsUrl(QHostAddress(address), port)));
                         });
    }
    new WorkerThread(server, QStringLiteral("metrics"), &owner);
    if (who == RecordsOwner::Window)
        listenForScrapes(*server);
    return server;
}

} // namespace

void listenForScrapes(MetricsServer &server)
{
    QMetaObject::invokeMethod(&server, &MetricsServer::listen, Qt::QueuedConnection);
}

AttachedRecords attachRecords(QObject &owner, const host::HostEventSignals &events,
                              const LaunchOptions &options, std::function<bool()> tracing,
                              RecordsOwner who)
{
    AttachedRecords attached;
    if (!options.onDown.isEmpty() || !options.onUp.isEmpty() || !options.onSlow.isEmpty() ||
        !options.onNormal.isEmpty()) {
        attached.commands = new alerts::HostActions(options.onDown, options.onUp,
                                                     options.actionTimeout, &owner);
        attached.commands->setCommand(records::ActionFacts::Change::Slow, options.onSlow);
        attached.commands->setCommand(records::ActionFacts::Change::Normal, options.onNormal);
        new CommandFeed(events, *attached.commands, std::move(tracing), attached.commands);
    }
    if (!options.logFile && !options.metrics)
        return attached;
    auto *feed = new RecordsFeed(events, &owner);
    if (options.logFile)
        attached.log = attachLog(owner, *feed, *options.logFile, options.logFormat, who);
    if (options.metrics)
        attached.metrics = attachMetrics(owner, *feed, *options.metrics, who);
    return attached;
}

} // namespace app
