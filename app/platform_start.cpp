#include "echowatch/app/platform_start.h"

#include "echowatch/app/command_line.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>

#include <cstdio>
#include <cstdlib>

namespace app {

namespace {

constexpr int MisuseStatus = 2;

// A message with its own copies of the context's texts, which Qt may free
// once the handler returns.
struct HeldMessage
{
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

struct CheckState
{
    QString program;
    std::optional<QString> requested;
    QList<HeldMessage> held;
    QtMessageHandler previous = nullptr;
};

// A message handler is a plain function, so the check it serves is reached
// through this one pointer, set only while a check lives.
CheckState *activeCheck = nullptr;

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

void holdOrFail(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    CheckState &check = *activeCheck;
    if (type != QtFatalMsg) {
        check.held.append(
            {type, context.file, context.line, context.function, context.category, text});
        return;
    }
    const QString reason =
        check.held.isEmpty() ? firstLine(text) : firstLine(check.held.first().text);
    const QByteArray line =
        platformFailureLine(check.program, check.requested, reason).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
    // Nothing has been opened or written yet, so there is nothing to unwind.
    std::_Exit(MisuseStatus);
}

} // namespace

QString platformFailureLine(const QString &program, const std::optional<QString> &requested,
                            const QString &reason)
{
    const QString platform =
        requested ? QCoreApplication::translate("PlatformStart", "the window platform '%1'")
                        .arg(*requested)
                  : QCoreApplication::translate("PlatformStart", "the default window platform");
    return QCoreApplication::translate("PlatformStart", "%1: %2 cannot start: %3\n")
        .arg(program, platform, reason.isEmpty() ? QStringLiteral("?") : reason);
}

PlatformStartCheck::PlatformStartCheck(QString program, std::optional<QString> requested)
{
    activeCheck = new CheckState{std::move(program), std::move(requested), {}, nullptr};
    activeCheck->previous = qInstallMessageHandler(holdOrFail);
}

PlatformStartCheck::~PlatformStartCheck()
{
    qInstallMessageHandler(activeCheck->previous);
    const QList<HeldMessage> held = std::move(activeCheck->held);
    delete activeCheck;
    activeCheck = nullptr;
    for (const HeldMessage &message : held) {
        const QMessageLogContext context(message.file.constData(), message.line,
                                         message.function.constData(),
                                         message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

std::optional<QString> requestedPlatform(const LaunchOptions &options)
{
    if (options.platform)
        return options.platform;
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return qEnvironmentVariable("QT_QPA_PLATFORM");
    return std::nullopt;
}

} // namespace app
