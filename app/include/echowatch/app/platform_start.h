#pragma once

#include <QString>

#include <optional>

namespace app {

// Qt ends the process with abort() when its window platform cannot start (an
// unknown name, no display), after several lines of its own. While one of
// these lives, Qt's messages are held back: a fatal one ends the program
// with status 2 and one line naming the platform, as a bad option does; once
// it is gone, the held messages are passed on as Qt would have printed them.
// One at a time, on the main thread, around the application's construction.
class PlatformStartCheck
{
public:
    // requested: the platform asked for (-platform, else QT_QPA_PLATFORM),
    // none for Qt's default.
    PlatformStartCheck(QString program, std::optional<QString> requested);
    ~PlatformStartCheck();

    PlatformStartCheck(const PlatformStartCheck &) = delete;
    PlatformStartCheck &operator=(const PlatformStartCheck &) = delete;
};

struct LaunchOptions;

// The platform Qt is asked for, as QApplication picks it: its option first,
// then the environment; none for Qt's default.
std::optional<QString> requestedPlatform(const LaunchOptions &options);

// The line printed for a platform that cannot start, reason being Qt's first
// message about it.
QString platformFailureLine(const QString &program, const std::optional<QString> &requested,
                            const QString &reason);

} // namespace app
