#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace app {

// What the command line asks of a run that opens the window. Every field
// left at its default leaves the window exactly as it opens without
// arguments.
struct LaunchOptions
{
    std::optional<QString> address;
    std::optional<QString> interval;
    bool start = false;
    bool notify = false;
    bool traceOnDown = false;
    int downAfter = 3;
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

} // namespace app
