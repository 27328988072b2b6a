#include "echowatch/app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace app {

namespace {

constexpr int MisuseStatus = 2;
constexpr int FewestDownAfter = 1;
constexpr int MostDownAfter = 100;

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

// The options QApplication takes out of argv itself; accepted here, unshown,
// so that they are not refused before it sees them.
void acceptToolkitOptions(QCommandLineParser &parser)
{
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "geometry",
          "qwindowgeometry", "qwindowicon", "qwindowtitle", "style", "stylesheet", "session"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
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
};

void describe(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(
        tr("Watch whether one IPv4 host answers ICMP echo requests (pings)."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("ADDRESS"),
                                 tr("Fill the address box with ADDRESS (dotted IPv4)."),
                                 QStringLiteral("[ADDRESS]"));
    parser.addOptions(
        {options.interval, options.start, options.notify, options.traceOnDown, options.downAfter});
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

std::optional<CommandLineExit> readValues(const QCommandLineParser &parser, const Options &options,
                                          LaunchOptions &launch)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return misuse(tr("one address only, but also given '%1'").arg(positional.at(1)));
    if (!positional.isEmpty())
        launch.address = positional.first();
    if (parser.isSet(options.interval))
        launch.interval = parser.value(options.interval);
    launch.start = parser.isSet(options.start);
    if (launch.start && !launch.interval)
        return misuse(tr("--start needs --interval MS"));
    launch.notify = parser.isSet(options.notify);
    launch.traceOnDown = parser.isSet(options.traceOnDown);
    bool whole = false;
    const QString downAfter = parser.value(options.downAfter);
    launch.downAfter = downAfter.toInt(&whole);
    if (!whole || launch.downAfter < FewestDownAfter || launch.downAfter > MostDownAfter)
        return misuse(
            tr("--down-after takes a whole number from 1 to 100, not '%1'").arg(downAfter));
    return std::nullopt;
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

} // namespace app
