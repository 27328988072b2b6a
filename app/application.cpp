#include "echowatch/app/application.h"

#include "echowatch/alerts/alert_settings.h"
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/icon_mark.h"
#include "echowatch/app/launch_resolution.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/app/termination_signals.h"
#include "echowatch/app/window_watch.h"
#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/path_view/path_actions.h"
#include "echowatch/path_view/trace_on_down.h"
#include "echowatch/platform/sleep_watch.h"
#include "echowatch/window/form1.h"
#include "echowatch/window/log_actions.h"
#include "echowatch/window/status_explanation.h"
#include "echowatch/window/threaded_probe_runner.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace app {

namespace {

std::unique_ptr<window::ProbeRunner> probeRunner(const Services &services)
{
    if (services.probesOnWorker)
        return std::make_unique<window::ThreadedProbeRunner>(services.sockets, services.icmp);
    return std::make_unique<window::InlineProbeRunner>(services.sockets, services.icmp);
}

void warn(const QString &text)
{
    const QString line =
        QCoreApplication::applicationName() + QStringLiteral(": ") + text + QLatin1Char('\n');
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

} // namespace

Application::Application(const Services &services, LaunchOptions options)
    : m_services(services), m_options(std::move(options)), m_probes(probeRunner(services)),
      m_window(std::make_unique<Form1>(*m_probes, services.messageBox, services.clock))
{
    buildFeatures();
    if (services.watchSleep)
        listenForSleep();
    if (services.closeOnSignals) {
        m_signals = std::make_unique<TerminationSignals>();
        QObject::connect(m_signals.get(), &TerminationSignals::received, m_window.get(),
                         &QWidget::close);
    }
}

// Closed first, as the user closes it: every watch ends as closed while
// every feature still listens.
Application::~Application()
{
    m_window->close();
}

// Each feature is owned by the window, and seen by it only through its
// signals and its context menu; each learns of the hosts from the host
// monitor alone.
void Application::buildFeatures()
{
    Form1 &window = *m_window;
    m_watch = new WindowWatch(
        window, m_services.clock, m_options.alerts, [this](const std::string &dotted) {
            return m_naming.label(QString::fromStdString(dotted)).toStdString();
        });
    const host::HostEventSignals &events = m_watch->events();
    window::explainStatusLine(window);
    new window::LogActions(window);
    m_history = new history_view::ProbeHistory(window, events);
    m_historyActions = new history_view::HistoryActions(
        window, *m_history, [this](const QString &dotted) { return m_naming.label(dotted); });
    m_historyFile = new history_view::HistoryFile(window, events, *m_history, m_options.keepDays);
    if (m_options.historyFile)
        m_historyFile->keepIn(*m_options.historyFile);
    m_alerts = new alerts::HostAlerts(window, events, m_services.notifications);
    m_alertSettings = new alerts::AlertSettings(window, [this] { return m_watch->rules(); });
    QObject::connect(m_alertSettings, &alerts::AlertSettings::chosen, m_watch,
                     &WindowWatch::setRules);
    new alerts::IconMark(window, events);
    buildPathFeatures();
    const path_view::TraceOnDown *trace = m_traceOnDown;
    m_records =
        attachRecords(window, events, m_options, [trace] { return trace->action()->isChecked(); });
}

// The trace's answer is filed by the host monitor with its outage; an
// outage's row in the History window opens the trace kept for it.
void Application::buildPathFeatures()
{
    Form1 &window = *m_window;
    const host::HostEventSignals &events = m_watch->events();
    m_pathActions = new path_view::PathActions(window, events, m_services.pathEchoLibrary);
    m_traceOnDown = new path_view::TraceOnDown(window, events, m_services.pathEchoLibrary,
                                               {m_services.routes, m_services.desktopOffline});
    m_traceOnDown->action()->setChecked(m_options.traceOnDown);
    QObject::connect(m_traceOnDown, &path_view::TraceOnDown::verdictReached, m_watch,
                     &WindowWatch::fileVerdict);
    QObject::connect(m_historyActions, &history_view::HistoryActions::traceAsked, m_pathActions,
                     [this](quint32 address, qint64 outageStart) {
                         if (const auto *verdict = m_traceOnDown->verdictFor(address, outageStart))
                             m_pathActions->showTrace(*verdict);
                     });
}

void Application::listenForSleep()
{
    m_sleep = std::make_unique<platform::SleepWatch>();
    QObject::connect(m_sleep.get(), &platform::SleepWatch::sleeping, m_watch, &WindowWatch::sleep);
    QObject::connect(m_sleep.get(), &platform::SleepWatch::awake, m_watch, &WindowWatch::wake);
}

void Application::open()
{
    if (m_options.hostName) {
        openOnceNamed();
        return;
    }
    applyOptions();
    m_window->show();
}

// As if the user had typed into the boxes and then pressed Start, once the
// window is up, so that a bad interval gets the button's own message box.
void Application::applyOptions()
{
    Form1 &window = *m_window;
    if (m_options.address)
        window.Text1->setText(*m_options.address);
    if (m_options.interval)
        window.Text2->setText(*m_options.interval);
    if (m_options.notify && !m_alerts->switchOn())
        warn(QCoreApplication::translate(
            "Application", "warning: --notify: no notification service answers on the session "
                           "bus; the window runs without notifications"));
    else if (m_options.sound)
        m_alerts->soundAction()->setChecked(true);
    if (m_options.start)
        QTimer::singleShot(0, window.Command1, &QPushButton::click);
}

// The window opens once the host's name has an address; a name that has
// none ends the program as a bad option does.
void Application::openOnceNamed()
{
    auto *resolution = new LaunchResolution(*m_options.hostName, m_window.get());
    QObject::connect(resolution, &LaunchResolution::resolved, m_window.get(),
                     [this, resolution](const QString &name, const QString &address) {
                         m_naming = {name, address};
                         applyOptions();
                         m_window->Text1->setText(address);
                         m_window->show();
                         resolution->deleteLater();
                     });
    QObject::connect(resolution, &LaunchResolution::failed, m_window.get(),
                     [](const QString &name, const QString &message) {
                         warn(name + QStringLiteral(": ") + message);
                         QCoreApplication::exit(2);
                     });
    resolution->start();
}

} // namespace app
