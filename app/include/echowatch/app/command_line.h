#pragma once

#include "echowatch/host/alert_rules.h"
#include "echowatch/records/log_line.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace app {

// What the command line asks of a run that opens the window. Every field
// left at its default leaves the window exactly as it opens without
// arguments.
struct LaunchOptions
{
    std::optional<QString> address;
    // A host name to look up once and put in the box as its address.
    std::optional<QString> hostName;
    std::optional<QString> interval;
    bool start = false;
    bool notify = false;
    bool traceOnDown = false;
    // What calls a host down, slow and flapping, from the start; "Alert
    // settings…" may change it for the window's life.
    host::AlertRules alerts;
    // The history file to append to, and for how many days it keeps every
    // probe (also when the file is chosen from the menu).
    std::optional<QString> historyFile;
    int keepDays = 30;
    // Qt's -platform, which QApplication reads for itself.
    std::optional<QString> platform;
    std::optional<QString> logFile;
    records::LogFormat logFormat = records::LogFormat::Csv;
    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
    };
    std::optional<Endpoint> metrics;
    // Program and arguments, as split from the option's text.
    QStringList onDown;
    QStringList onUp;
    QStringList onSlow;
    QStringList onNormal;
    // How long a command may run before it and all it started are ended.
    std::chrono::seconds actionTimeout{30};
    bool sound = false;
    // --headless: no window at all; many hosts, each probed every interval
    // and watched by a host monitor of its own.
    struct Headless
    {
        // Names or addresses, as given.
        QStringList hosts;
        std::optional<QString> hostsFile;
        std::chrono::milliseconds interval{1000};
        // Where a probe helper is served to connect to (the service's),
        // rather than starting one.
        std::optional<QString> helperSocket;
    };
    std::optional<Headless> headless;
};

// How a command line ends before any window exists: the text to print, where
// to print it, and the exit status.
struct CommandLineExit
{
    enum class Stream
    {
        Output,
        Error,
    };
    int status = 0;
    Stream stream = Stream::Output;
    QString text;
};

struct CommandLine
{
    LaunchOptions options;
    // Set when the program must end at once (help, version, a bad option).
    std::optional<CommandLineExit> exit;
};

// Reads the arguments (the program's name first), needing neither a display
// nor an application object. Qt's own options, such as -platform, are let
// through for QApplication to take.
CommandLine parseCommandLine(const QStringList &arguments);

// The program's own arguments, read before any application object exists
// (the application's name and version set for --help and --version).
CommandLine readCommandLine(int argc, char *argv[], const char *version);

// Prints what the command line ended with where it goes; its exit status.
int finish(const CommandLineExit &exit);

} // namespace app
