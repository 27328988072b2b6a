#include "echowatch/app/records_setup.h"

#include "echowatch/alerts/host_actions.h"
#include "echowatch/app/command_feed.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/live_log_writer.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/app/worker_thread.h"
#include "echowatch/platform/translation.h"
#include "echowatch/window/form1.h"

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

void attachLog(Form1 &window, const RecordsFeed &feed, const QString &path,
               records::LogFormat format)
{
    auto *writer = new LiveLogWriter(path, format);
    QObject::connect(&feed, &RecordsFeed::probeLogged, writer, &LiveLogWriter::append);
    QObject::connect(writer, &LiveLogWriter::failed, &window, [path](const QString &message) {
        warn(tr("warning: --log %1: %2; the window goes on probing")
                 .arg(QDir::toNativeSeparators(path), message));
    });
    new WorkerThread(writer, QStringLiteral("log"), &window);
}

MetricsServer *attachMetrics(Form1 &window, const RecordsFeed &feed,
                             const LaunchOptions::Endpoint &at)
{
    auto *server = new MetricsServer(at.address, at.port);
    QObject::connect(&feed, &RecordsFeed::probeLogged, server, &MetricsServer::recordProbe);
    QObject::connect(&feed, &RecordsFeed::hostChanged, server, &MetricsServer::recordChange);
    QObject::connect(&feed, &RecordsFeed::watchChanged, server, &MetricsServer::recordWatch);
    QObject::connect(&feed, &RecordsFeed::outageClassed, server, &MetricsServer::recordClass);
    QObject::connect(server, &MetricsServer::failed, &window, [](const QString &message) {
        warn(tr("warning: --metrics: %1; the window runs without metrics").arg(message));
    });
    QObject::connect(server, &MetricsServer::warned, &window, [](const QString &message) {
        warn(tr("warning: --metrics: %1").arg(message));
    });
    // Said only for a port the system chose, which nobody else can know.
    if (at.port == 0) {
        QObject::connect(server, &MetricsServer::listening, &window,
                         [](const QString &address, quint16 port) {
                             warn(tr("metrics at %1").arg(metricsUrl(QHostAddress(address), port)));
                         });
    }
    new WorkerThread(server, QStringLiteral("metrics"), &window);
    QMetaObject::invokeMethod(server, &MetricsServer::listen, Qt::QueuedConnection);
    return server;
}

} // namespace

AttachedRecords attachRecords(Form1 &window, const host::HostEventSignals &events,
                              const LaunchOptions &options, std::function<bool()> tracing)
{
    AttachedRecords attached;
    if (!options.onDown.isEmpty() || !options.onUp.isEmpty() || !options.onSlow.isEmpty() ||
        !options.onNormal.isEmpty()) {
        attached.commands = new alerts::HostActions(options.onDown, options.onUp,
                                                     options.actionTimeout, &window);
        attached.commands->setCommand(records::ActionFacts::Change::Slow, options.onSlow);
        attached.commands->setCommand(records::ActionFacts::Change::Normal, options.onNormal);
        new CommandFeed(events, *attached.commands, std::move(tracing), attached.commands);
    }
    if (!options.logFile && !options.metrics)
        return attached;
    auto *feed = new RecordsFeed(events, &window);
    if (options.logFile)
        attachLog(window, *feed, *options.logFile, options.logFormat);
    if (options.metrics)
        attached.metrics = attachMetrics(window, *feed, *options.metrics);
    return attached;
}

} // namespace app
