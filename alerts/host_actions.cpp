#include "echowatch/alerts/host_actions.h"

#include "echowatch/alerts/command_run.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <cstdio>

namespace alerts {

namespace {

QProcessEnvironment environmentFor(const records::ActionFacts &facts)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : records::actionEnvironment(facts))
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    return environment;
}

using Change = records::ActionFacts::Change;

constexpr Change Changes[] = {Change::Down, Change::Up, Change::Slow, Change::Normal};

QString optionName(Change change)
{
    switch (change) {
    case Change::Down:
        return QStringLiteral("--on-down");
    case Change::Up:
        return QStringLiteral("--on-up");
    case Change::Slow:
        return QStringLiteral("--on-slow");
    case Change::Normal:
        return QStringLiteral("--on-normal");
    }
    return {};
}

} // namespace

HostActions::HostActions(QStringList onDown, QStringList onUp, std::chrono::seconds timeLimit,
                         QObject *parent)
    : QObject(parent), m_commands{{Change::Down, std::move(onDown)}, {Change::Up, std::move(onUp)}},
      m_timeLimit(timeLimit)
{}

void HostActions::setCommand(Change change, QStringList words)
{
    m_commands[change] = std::move(words);
}

// The commands, children of this object, end with it, each with its group.
HostActions::~HostActions()
{
    for (auto &[key, slot] : m_slots) {
        if (slot.running != nullptr)
            slot.running->disconnect(this);
    }
}

void HostActions::run(const records::ActionFacts &facts)
{
    if (m_commands[facts.change].isEmpty())
        return;
    Slot &slot = m_slots[{facts.address, facts.change}];
    if (!busy(facts.address)) {
        start(slot, facts);
        return;
    }
    if (slot.waiting && !slot.dropSaid) {
        report(facts.change, tr("a command for %1 is dropped: a newer change came while the "
                                "last command was still ending")
                                 .arg(QString::fromStdString(slot.waiting->host)));
        slot.dropSaid = true;
    }
    slot.waiting = facts;
    slot.waitingSince = ++m_changes;
    if (slot.running != nullptr)
        slot.running->end();
}

bool HostActions::busy(const std::string &address) const
{
    for (const Change change : Changes) {
        const auto slot = m_slots.find({address, change});
        if (slot != m_slots.end() && slot->second.running != nullptr)
            return true;
    }
    return false;
}

void HostActions::start(Slot &slot, const records::ActionFacts &facts)
{
    const SlotKey key{facts.address, facts.change};
    auto *command =
        new CommandRun(m_commands[facts.change], environmentFor(facts), m_timeLimit, this);
    slot.running = command;
    slot.dropSaid = false;
    connect(command, &CommandRun::said, this,
            [change = facts.change](const QString &problem) { report(change, problem); });
    connect(command, &CommandRun::finished, this, [this, key] { ended(key); });
    command->start();
}

void HostActions::ended(const SlotKey &key)
{
    m_slots[key].running = nullptr;
    emit finished();
    startNext(key.first);
}

// The host's change that has waited longest goes first.
void HostActions::startNext(const std::string &address)
{
    Slot *next = nullptr;
    for (const Change change : Changes) {
        Slot &slot = m_slots[{address, change}];
        if (slot.waiting && (next == nullptr || slot.waitingSince < next->waitingSince))
            next = &slot;
    }
    if (next == nullptr)
        return;
    const records::ActionFacts facts = *next->waiting;
    next->waiting.reset();
    start(*next, facts);
}

void HostActions::report(Change change, const QString &problem)
{
    const QByteArray line = (QCoreApplication::applicationName() + QStringLiteral(": ") +
                             optionName(change) + QStringLiteral(": ") + problem +
                             QLatin1Char('\n'))
                                .toLocal8Bit();
    std::fputs(line.constData(), stderr);
}

} // namespace alerts
