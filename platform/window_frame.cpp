#include "echowatch/platform/window_frame.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>

namespace platform {

namespace {

constexpr char PluginType[] = "wayland-decoration-client";
constexpr char PluginFile[] = ECHOWATCH_DECORATION_FILE;

// Beside the program in a build tree, or this path away from the installed
// program; never from the environment.
QString ownPluginDirectory()
{
    const QDir programDirectory = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    for (const QString &candidate :
         {QStringLiteral("plugins"), QStringLiteral(ECHOWATCH_PLUGINS_FROM_BINDIR)}) {
        const QDir plugins(programDirectory.filePath(candidate));
        if (QFileInfo(plugins.filePath(QStringLiteral("%1/%2").arg(PluginType, PluginFile)))
                .isFile())
            return plugins.canonicalPath();
    }
    return {};
}

} // namespace

void preferOwnWindowFrame()
{
    if (QLibraryInfo::version() != QVersionNumber::fromString(QStringLiteral(QT_VERSION_STR)))
        return;
    if (qEnvironmentVariableIsSet("QT_WAYLAND_DECORATION"))
        return;
    const QString plugins = ownPluginDirectory();
    if (plugins.isEmpty())
        return;
    QCoreApplication::addLibraryPath(plugins);
    qputenv("QT_WAYLAND_DECORATION", ECHOWATCH_DECORATION_KEY);
}

} // namespace platform
