#include "echowatch/alerts/host_actions.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

namespace alerts {

namespace {

// A host that flaps faster than its command ends keeps only the latest few
// changes waiting; older ones are told and dropped.
constexpr std::size_t MostWaiting = 4;

QProcessEnvironment environmentFor(const records::ActionFacts &facts)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : records::actionEnvironment(facts))
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    return environment;
}

QString optionName(records::ActionFacts::Change change)
{
    return change == records::ActionFacts::Change::Down ? QStringLiteral("--on-down")
                                                        : QStringLiteral("--on-up");
}

} // namespace

HostActions::HostActions(QStringList onDown, QStringList onUp, QObject *parent)
    : QObject(parent), m_onDown(std::move(onDown)), m_onUp(std::move(onUp))
{}

// A command still running when the window closes is ended with it.
HostActions::~HostActions()
{
    if (m_running) {
        m_running->disconnect(this);
        m_running->kill();
        m_running->waitForFinished();
    }
}

void HostActions::run(const records::ActionFacts &facts)
{
    const bool down = facts.change == records::ActionFacts::Change::Down;
    if ((down ? m_onDown : m_onUp).isEmpty())
        return;
    if (m_waiting.size() == MostWaiting) {
        report(optionName(m_waiting.front().change),
               tr("a command for %1 is dropped: too many wait for the one running")
                   .arg(QString::fromStdString(m_waiting.front().host)));
        m_waiting.pop_front();
    }
    m_waiting.push_back(facts);
    if (!m_running)
        startNext();
}

void HostActions::startNext()
{
    if (m_waiting.empty())
        return;
    const records::ActionFacts facts = m_waiting.front();
    m_waiting.pop_front();
    const bool down = facts.change == records::ActionFacts::Change::Down;
    const QStringList &words = down ? m_onDown : m_onUp;
    m_option = optionName(facts.change);
    m_running = new QProcess(this);
    m_running->setProcessChannelMode(QProcess::ForwardedChannels);
    m_running->setStandardInputFile(QProcess::nullDevice());
    m_running->setProcessEnvironment(environmentFor(facts));
    connect(m_running, &QProcess::finished, this, [this](int status, QProcess::ExitStatus how) {
        if (how == QProcess::CrashExit)
            ended(tr("'%1' ended abnormally").arg(m_running->program()));
        else
            ended(status == 0
                      ? QString()
                      : tr("'%1' exited with status %2").arg(m_running->program()).arg(status));
    });
    connect(m_running, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended(tr("'%1' could not be started: %2")
                      .arg(m_running->program(), m_running->errorString()));
    });
    m_running->start(words.constFirst(), words.mid(1));
}

void HostActions::ended(const QString &problem)
{
    if (!problem.isEmpty())
        report(m_option, problem);
    m_running->deleteLater();
    m_running = nullptr;
    emit finished();
    startNext();
}

void HostActions::report(const QString &option, const QString &problem)
{
    const QByteArray line = (QCoreApplication::applicationName() + QStringLiteral(": ") + option +
                             QStringLiteral(": ") + problem + QLatin1Char('\n'))
                                .toLocal8Bit();
    std::fputs(line.constData(), stderr);
}

} // namespace alerts
