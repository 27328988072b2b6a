#include "echowatch/app/command_line.h"

#include "echowatch/platform/translation.h"
#include "echowatch/records/command_words.h"
#include "echowatch/records/host_resolution.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace app {

namespace {

constexpr int MisuseStatus = 2;
constexpr int FewestDownAfter = 1;
constexpr int MostDownAfter = 100;
constexpr int FewestKeepDays = 1;
constexpr int MostKeepDays = 3650;
constexpr int MostPort = 65535;
constexpr int FewestActionSeconds = 1;
constexpr int MostActionSeconds = 86400;
constexpr int FewestLossProbes = 10;
constexpr int MostLossProbes = 10000;
constexpr int MostSlowMilliseconds = 60000;
constexpr int MostFlapLimit = 1000;
constexpr int MostFlapMinutes = 1440;
constexpr int FewestHeadlessInterval = 10;
constexpr int MostHeadlessInterval = 86'400'000;

constexpr platform::Translation tr{"CommandLine"};

struct ToolkitOption
{
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
};

// The options QApplication takes out of argv itself: accepted here, so that
// they are not refused before it sees them, and listed apart in the help.
constexpr ToolkitOption ToolkitOptions[] = {
    {"platform", "NAME",
     QT_TRANSLATE_NOOP("CommandLine", "window system plugin (xcb, wayland, offscreen)")},
    {"platformpluginpath", "DIR",
     QT_TRANSLATE_NOOP("CommandLine", "where to look for platform plugins")},
    {"platformtheme", "NAME", QT_TRANSLATE_NOOP("CommandLine", "platform theme")},
    {"plugin", "NAME",
     QT_TRANSLATE_NOOP("CommandLine", "extra plugin to load, such as an input device")},
    {"display", "DISPLAY", QT_TRANSLATE_NOOP("CommandLine", "X display to open (xcb)")},
    {"geometry", "WxH+X+Y", QT_TRANSLATE_NOOP("CommandLine", "position of the window (xcb)")},
    {"qwindowgeometry", "WxH+X+Y", QT_TRANSLATE_NOOP("CommandLine", "position of the window")},
    {"qwindowicon", "FILE", QT_TRANSLATE_NOOP("CommandLine", "icon of the window")},
    {"qwindowtitle", "TITLE", QT_TRANSLATE_NOOP("CommandLine", "title of the window")},
    {"style", "STYLE", QT_TRANSLATE_NOOP("CommandLine", "widget style (Fusion, Windows)")},
    {"stylesheet", "FILE", QT_TRANSLATE_NOOP("CommandLine", "style sheet to apply")},
    {"session", "ID", QT_TRANSLATE_NOOP("CommandLine", "session to restore")},
    {"reverse", nullptr, QT_TRANSLATE_NOOP("CommandLine", "lay out right to left")},
    {"widgetcount", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "print how many widgets were left at exit")},
};

void acceptToolkitOptions(QCommandLineParser &parser)
{
    for (const ToolkitOption &toolkit : ToolkitOptions) {
        QCommandLineOption option(QString::fromLatin1(toolkit.name));
        if (toolkit.valueName)
            option.setValueName(QString::fromLatin1(toolkit.valueName));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Qt takes its options with one dash, as its own documentation writes them.
QString toolkitHelp()
{
    QString help = QLatin1Char('\n') + tr("Options passed on to Qt:") + QLatin1Char('\n');
    for (const ToolkitOption &toolkit : ToolkitOptions) {
        QString left = QStringLiteral("  -") + QString::fromLatin1(toolkit.name);
        if (toolkit.valueName)
            left += QLatin1Char(' ') + QString::fromLatin1(toolkit.valueName);
        help +=
            left.leftJustified(31) + QLatin1Char(' ') + tr(toolkit.description) + QLatin1Char('\n');
    }
    return help;
}

struct Options
{
    QCommandLineOption interval{{QStringLiteral("i"), QStringLiteral("interval")},
                                tr("Fill the interval box with MS milliseconds."),
                                QStringLiteral("MS")};
    QCommandLineOption start{{QStringLiteral("s"), QStringLiteral("start")},
                             tr("Press Start once the window is open (needs --interval).")};
    QCommandLineOption notify{QStringLiteral("notify"),
                              tr("Notify when the host goes down or comes back.")};
    QCommandLineOption traceOnDown{
        QStringLiteral("trace-on-down"),
        tr("Trace the path when the host goes down, and tell where it broke.")};
    QCommandLineOption downAfter{
        QStringLiteral("down-after"),
        tr("Call the host down after N failed probes in a row, 1 to 100 (default 3)."),
        QStringLiteral("N"), QStringLiteral("3")};
    QCommandLineOption history{
        QStringLiteral("history"),
        tr("Keep every probe shown, and the outages, in the history file FILE (SQLite), "
           "added to across runs."),
        QStringLiteral("FILE")};
    QCommandLineOption keepDays{
        QStringLiteral("keep-days"),
        tr("Keep every probe in the history file for N days, 1 to 3650 (default 30); "
           "a summary of each minute is kept longer."),
        QStringLiteral("N"), QStringLiteral("30")};
    QCommandLineOption log{QStringLiteral("log"),
                           tr("Append a line per probe to FILE as it is shown."),
                           QStringLiteral("FILE")};
    QCommandLineOption logFormat{QStringLiteral("log-format"),
                                 tr("Lines of --log as csv (default) or jsonl."),
                                 QStringLiteral("FORMAT"), QStringLiteral("csv")};
    QCommandLineOption metrics{
        QStringLiteral("metrics"),
        tr("Serve Prometheus metrics at /metrics on PORT, on loopback unless ADDR is given."),
        QStringLiteral("[ADDR:]PORT")};
    QCommandLineOption onDown{QStringLiteral("on-down"),
                              tr("Run CMD when the host goes down (no shell; facts in "
                                 "ECHOWATCH_* variables)."),
                              QStringLiteral("CMD")};
    QCommandLineOption onUp{QStringLiteral("on-up"), tr("Run CMD when the host comes back."),
                            QStringLiteral("CMD")};
    QCommandLineOption actionTimeout{
        QStringLiteral("action-timeout"),
        tr("End a command (--on-down, --on-up, --on-slow, --on-normal), and all it started, "
           "after SECONDS, 1 to 86400 (default 30)."),
        QStringLiteral("SECONDS"), QStringLiteral("30")};
    QCommandLineOption sound{QStringLiteral("sound"),
                             tr("Notify with a sound (implies --notify).")};
    QCommandLineOption downLoss{
        QStringLiteral("down-loss"),
        tr("Also call the host down when RAISE% or more of the last --loss-window probes "
           "failed, and up again once an answer came and CLEAR% or less failed; RAISE 1 to "
           "100, CLEAR below it (default a quarter of RAISE)."),
        QStringLiteral("RAISE[:CLEAR]")};
    QCommandLineOption lossWindow{
        QStringLiteral("loss-window"),
        tr("The last N probes that --down-loss counts, 10 to 10000 (default 50)."),
        QStringLiteral("N"), QStringLiteral("50")};
    QCommandLineOption slowOver{
        QStringLiteral("slow-over"),
        tr("Call the host slow when PCT% of the last minute's answers (default 95) took over "
           "MS milliseconds for a full minute, normal once they did not for a full minute; MS "
           "1 to 60000, PCT 1 to 100."),
        QStringLiteral("MS[:PCT]")};
    QCommandLineOption onSlow{QStringLiteral("on-slow"), tr("Run CMD when the host becomes slow."),
                              QStringLiteral("CMD")};
    QCommandLineOption onNormal{QStringLiteral("on-normal"),
                                tr("Run CMD when the host is normal again."),
                                QStringLiteral("CMD")};
    QCommandLineOption flapLimit{
        QStringLiteral("flap-limit"),
        tr("Tell once that the host flaps when it went down more than N times in "
           "--flap-window, then nothing more until it settles; 0 to 1000, 0 for never "
           "(default 5)."),
        QStringLiteral("N"), QStringLiteral("5")};
    QCommandLineOption flapWindow{
        QStringLiteral("flap-window"),
        tr("The minutes --flap-limit counts downs in, and that the host must stay up or down "
           "to settle, 1 to 1440 (default 10)."),
        QStringLiteral("MIN"), QStringLiteral("10")};
    QCommandLineOption headless{
        QStringLiteral("headless"),
        tr("Open no window: watch every HOST given (and those of --hosts-file), each probed "
           "every --interval MS (default 1000), until SIGTERM or SIGINT.")};
    QCommandLineOption hostsFile{
        QStringLiteral("hosts-file"),
        tr("With --headless: watch the hosts listed in FILE too, one a line ('#' starts a "
           "comment), read again on SIGHUP."),
        QStringLiteral("FILE")};
    QCommandLineOption helperSocket{
        QStringLiteral("helper-socket"),
        tr("With --headless: ask the probe helper served at the Unix socket PATH (the "
           "service's) rather than starting one."),
        QStringLiteral("PATH")};
};

void describe(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(
        tr("Watch whether one IPv4 host answers ICMP echo requests (pings)."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("ADDRESS"),
                                 tr("Fill the address box with ADDRESS (dotted IPv4), or with the "
                                    "address of HOST, looked up once; with --headless, every "
                                    "HOST given is watched."),
                                 QStringLiteral("[ADDRESS|HOST]"));
    parser.addOptions({options.interval, options.start, options.notify, options.traceOnDown,
                       options.downAfter, options.downLoss, options.lossWindow, options.slowOver,
                       options.flapLimit, options.flapWindow, options.history, options.keepDays,
                       options.sound, options.log, options.logFormat, options.metrics,
                       options.onDown, options.onUp, options.onSlow, options.onNormal,
                       options.actionTimeout, options.headless, options.hostsFile,
                       options.helperSocket});
    parser.addHelpOption();
    parser.addVersionOption();
    acceptToolkitOptions(parser);
}

CommandLineExit misuse(const QString &message)
{
    const QString program = QCoreApplication::applicationName();
    return {MisuseStatus, CommandLineExit::Stream::Error,
            program + QStringLiteral(": ") + message + QLatin1Char('\n') +
                tr("Try '%1 --help' for more.").arg(program) + QLatin1Char('\n')};
}

// A whole number from fewest to most, or the misuse that names the option.
std::optional<CommandLineExit> readWholeNumber(const QCommandLineParser &parser,
                                               const QCommandLineOption &option, int fewest,
                                               int most, int &value)
{
    bool whole = false;
    const QString text = parser.value(option);
    value = text.toInt(&whole);
    if (whole && value >= fewest && value <= most)
        return std::nullopt;
    return misuse(tr("--%1 takes a whole number from %2 to %3, not '%4'")
                      .arg(option.names().constLast())
                      .arg(fewest)
                      .arg(most)
                      .arg(text));
}

std::optional<CommandLineExit> readHistoryValues(const QCommandLineParser &parser,
                                                 const Options &options, LaunchOptions &launch)
{
    if (parser.isSet(options.history)) {
        launch.historyFile = parser.value(options.history);
        if (launch.historyFile->isEmpty())
            return misuse(tr("--history needs a file name"));
    }
    return readWholeNumber(parser, options.keepDays, FewestKeepDays, MostKeepDays, launch.keepDays);
}

// "PORT", "ADDR:PORT" or "[IPV6]:PORT"; loopback when no address is given,
// so that nothing is served beyond this machine unless asked.
std::optional<LaunchOptions::Endpoint> endpoint(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool whole = false;
    const int port = text.mid(colon + 1).toInt(&whole);
    QHostAddress address;
    if (!whole || port < 0 || port > MostPort || !address.setAddress(host))
        return std::nullopt;
    return LaunchOptions::Endpoint{address, static_cast<quint16>(port)};
}

std::optional<CommandLineExit> readCommand(const QCommandLineParser &parser,
                                           const QCommandLineOption &option, QStringList &words)
{
    if (!parser.isSet(option))
        return std::nullopt;
    const QString text = parser.value(option);
    const records::CommandWords split = records::splitCommandWords(text.toStdString());
    if (!split.error.empty())
        return misuse(
            tr("--%1 '%2': %3")
                .arg(option.names().constFirst(), text, QString::fromStdString(split.error)));
    for (const std::string &word : split.words)
        words << QString::fromStdString(word);
    return std::nullopt;
}

std::optional<CommandLineExit> readRecordValues(const QCommandLineParser &parser,
                                                const Options &options, LaunchOptions &launch)
{
    if (parser.isSet(options.log))
        launch.logFile = parser.value(options.log);
    const QString format = parser.value(options.logFormat);
    if (format != QStringLiteral("csv") && format != QStringLiteral("jsonl"))
        return misuse(tr("--log-format takes csv or jsonl, not '%1'").arg(format));
    launch.logFormat =
        format == QStringLiteral("csv") ? records::LogFormat::Csv : records::LogFormat::JsonLines;
    if (parser.isSet(options.metrics)) {
        launch.metrics = endpoint(parser.value(options.metrics));
        if (!launch.metrics)
            return misuse(tr("--metrics takes [ADDR:]PORT, a numeric address and a port from 0 "
                             "to 65535, not '%1'")
                              .arg(parser.value(options.metrics)));
    }
    if (auto exit = readCommand(parser, options.onDown, launch.onDown))
        return exit;
    if (auto exit = readCommand(parser, options.onUp, launch.onUp))
        return exit;
    if (auto exit = readCommand(parser, options.onSlow, launch.onSlow))
        return exit;
    if (auto exit = readCommand(parser, options.onNormal, launch.onNormal))
        return exit;
    int seconds = 0;
    if (auto exit = readWholeNumber(parser, options.actionTimeout, FewestActionSeconds,
                                    MostActionSeconds, seconds))
        return exit;
    launch.actionTimeout = std::chrono::seconds(seconds);
    return std::nullopt;
}

// "A" or "A:B", two whole numbers; B is none when not given.
std::optional<std::pair<int, std::optional<int>>> wholePair(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    bool whole = false;
    const int first = parts.first().toInt(&whole);
    if (!whole || parts.size() > 2)
        return std::nullopt;
    if (parts.size() == 1)
        return std::pair(first, std::optional<int>());
    const int second = parts.last().toInt(&whole);
    return whole ? std::optional(std::pair(first, std::optional(second))) : std::nullopt;
}

std::optional<CommandLineExit> readLossRule(const QCommandLineParser &parser,
                                            const Options &options, host::LossRule &loss)
{
    if (!parser.isSet(options.downLoss)) {
        if (parser.isSet(options.lossWindow))
            return misuse(tr("--loss-window needs --down-loss"));
        return std::nullopt;
    }
    const QString text = parser.value(options.downLoss);
    const auto levels = wholePair(text);
    constexpr int QuarterOf = 4;
    if (levels) {
        loss.raisePercent = levels->first;
        loss.clearPercent = levels->second.value_or(levels->first / QuarterOf);
    }
    if (!levels || loss.raisePercent < 1 || loss.raisePercent > 100 || loss.clearPercent < 0 ||
        loss.clearPercent >= loss.raisePercent)
        return misuse(tr("--down-loss takes RAISE[:CLEAR], whole percentages, RAISE from 1 to "
                         "100 and CLEAR below it, not '%1'")
                          .arg(text));
    return readWholeNumber(parser, options.lossWindow, FewestLossProbes, MostLossProbes,
                           loss.window);
}

std::optional<CommandLineExit> readSlowRule(const QCommandLineParser &parser,
                                            const Options &options, host::SlowRule &slow)
{
    if (!parser.isSet(options.slowOver))
        return std::nullopt;
    const QString text = parser.value(options.slowOver);
    const auto over = wholePair(text);
    if (over) {
        slow.overMilliseconds = over->first;
        slow.percentile = over->second.value_or(host::SlowRule::DefaultPercentile);
    }
    if (!over || slow.overMilliseconds < 1 || slow.overMilliseconds > MostSlowMilliseconds ||
        slow.percentile < 1 || slow.percentile > 100)
        return misuse(tr("--slow-over takes MS[:PCT], MS from 1 to %1 and PCT from 1 to 100, "
                         "not '%2'")
                          .arg(MostSlowMilliseconds)
                          .arg(text));
    return std::nullopt;
}

std::optional<CommandLineExit> readAlertValues(const QCommandLineParser &parser,
                                               const Options &options, host::AlertRules &rules)
{
    if (auto exit = readWholeNumber(parser, options.downAfter, FewestDownAfter, MostDownAfter,
                                    rules.downAfter))
        return exit;
    if (auto exit = readLossRule(parser, options, rules.loss))
        return exit;
    if (auto exit = readSlowRule(parser, options, rules.slow))
        return exit;
    if (auto exit =
            readWholeNumber(parser, options.flapLimit, 0, MostFlapLimit, rules.flap.limit))
        return exit;
    return readWholeNumber(parser, options.flapWindow, 1, MostFlapMinutes,
                           rules.flap.windowMinutes);
}

// The window's options that mean nothing without one.
std::optional<CommandLineExit> refuseWindowOnly(const QCommandLineParser &parser,
                                                const Options &options)
{
    for (const QCommandLineOption *option : {&options.start, &options.notify, &options.sound}) {
        if (parser.isSet(*option))
            return misuse(tr("--%1 needs the window; not with --headless")
                              .arg(option->names().constLast()));
    }
    if (parser.isSet(QStringLiteral("platform")))
        return misuse(tr("-platform needs the window; not with --headless"));
    return std::nullopt;
}

std::optional<CommandLineExit> readHeadlessValues(const QCommandLineParser &parser,
                                                  const Options &options, LaunchOptions &launch)
{
    if (auto exit = refuseWindowOnly(parser, options))
        return exit;
    LaunchOptions::Headless headless;
    headless.hosts = parser.positionalArguments();
    if (parser.isSet(options.hostsFile))
        headless.hostsFile = parser.value(options.hostsFile);
    if (headless.hosts.isEmpty() && !headless.hostsFile)
        return misuse(tr("--headless needs a HOST or --hosts-file FILE"));
    if (parser.isSet(options.helperSocket))
        headless.helperSocket = parser.value(options.helperSocket);
    if (parser.isSet(options.interval)) {
        int milliseconds = 0;
        if (auto exit = readWholeNumber(parser, options.interval, FewestHeadlessInterval,
                                        MostHeadlessInterval, milliseconds))
            return exit;
        headless.interval = std::chrono::milliseconds(milliseconds);
    }
    launch.headless = std::move(headless);
    return std::nullopt;
}

std::optional<CommandLineExit> readWindowValues(const QCommandLineParser &parser,
                                                const Options &options, LaunchOptions &launch)
{
    for (const QCommandLineOption *option : {&options.hostsFile, &options.helperSocket}) {
        if (parser.isSet(*option))
            return misuse(tr("--%1 needs --headless").arg(option->names().constLast()));
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return misuse(tr("one address only, but also given '%1'").arg(positional.at(1)));
    if (!positional.isEmpty()) {
        const QString &first = positional.first();
        if (first.isEmpty() || records::looksLikeAddress(first.toStdString()))
            launch.address = first;
        else
            launch.hostName = first;
    }
    if (parser.isSet(options.interval))
        launch.interval = parser.value(options.interval);
    launch.start = parser.isSet(options.start);
    if (launch.start && !launch.interval)
        return misuse(tr("--start needs --interval MS"));
    launch.sound = parser.isSet(options.sound);
    launch.notify = parser.isSet(options.notify) || launch.sound;
    if (parser.isSet(QStringLiteral("platform")))
        launch.platform = parser.value(QStringLiteral("platform"));
    return std::nullopt;
}

std::optional<CommandLineExit> readValues(const QCommandLineParser &parser, const Options &options,
                                          LaunchOptions &launch)
{
    if (auto exit = parser.isSet(options.headless) ? readHeadlessValues(parser, options, launch)
                                                   : readWindowValues(parser, options, launch))
        return exit;
    launch.traceOnDown = parser.isSet(options.traceOnDown);
    if (auto exit = readAlertValues(parser, options, launch.alerts))
        return exit;
    if (auto exit = readHistoryValues(parser, options, launch))
        return exit;
    return readRecordValues(parser, options, launch);
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    Options options;
    describe(parser, options);
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exit = misuse(parser.errorText());
        return result;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the parser cannot know its name.
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QCoreApplication::applicationName());
        help += toolkitHelp();
        result.exit = CommandLineExit{0, CommandLineExit::Stream::Output, help};
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.exit =
            CommandLineExit{0, CommandLineExit::Stream::Output,
                            QCoreApplication::applicationName() + QLatin1Char(' ') +
                                QCoreApplication::applicationVersion() + QLatin1Char('\n')};
        return result;
    }
    result.exit = readValues(parser, options, result.options);
    return result;
}

CommandLine readCommandLine(int argc, char *argv[], const char *version)
{
    QCoreApplication::setApplicationName(QStringLiteral("echowatch"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version));
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    return parseCommandLine(arguments);
}

int finish(const CommandLineExit &exit)
{
    std::FILE *stream = exit.stream == CommandLineExit::Stream::Output ? stdout : stderr;
    std::fputs(exit.text.toLocal8Bit().constData(), stream);
    return exit.status;
}

} // namespace app
