#include "echowatch/app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace app {

namespace {

constexpr int MisuseStatus = 2;
constexpr int FewestDownAfter = 1;
constexpr int MostDownAfter = 100;
constexpr int FewestKeepDays = 1;
constexpr int MostKeepDays = 3650;

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
};

void describe(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(
        tr("Watch whether one IPv4 host answers ICMP echo requests (pings)."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("ADDRESS"),
                                 tr("Fill the address box with ADDRESS (dotted IPv4)."),
                                 QStringLiteral("[ADDRESS]"));
    parser.addOptions({options.interval, options.start, options.notify, options.downAfter,
                       options.history, options.keepDays});
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
    if (auto exit = readWholeNumber(parser, options.downAfter, FewestDownAfter, MostDownAfter,
                                    launch.downAfter))
        return exit;
    return readHistoryValues(parser, options, launch);
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
