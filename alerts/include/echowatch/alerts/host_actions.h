#pragma once

#include "echowatch/records/action_environment.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace alerts {

class CommandRun;

// The user's commands for the host's going down and coming back, and its
// becoming slow and normal again, never waited for by the window. No shell
// runs them; their facts are in their environment, and what they print
// goes where the window's own output goes. Each runs in a process group of
// its own for at most its time limit (CommandRun), and ends with the
// window. One runs at a time for each host, in the order the host changed,
// so that an up never overtakes its down: a newer change of the same kind
// ends the older command and runs once it has ended (a change of that kind
// still waiting then is dropped, and said); a change of another kind waits
// for the running command, which its time limit bounds.
class HostActions : public QObject
{
    Q_OBJECT

public:
    // Empty words: nothing runs on that change.
    HostActions(QStringList onDown, QStringList onUp, std::chrono::seconds timeLimit,
                QObject *parent);
    ~HostActions() override;

    // The command for a change, slow and normal among them.
    void setCommand(records::ActionFacts::Change change, QStringList words);

    void run(const records::ActionFacts &facts);

signals:
    // After a command ended (or could not start), for what waits on it.
    void finished();

private:
    using Change = records::ActionFacts::Change;
    // The host's address and the change.
    using SlotKey = std::pair<std::string, Change>;
    struct Slot
    {
        CommandRun *running = nullptr;
        std::optional<records::ActionFacts> waiting;
        // When the waiting change came, among the host's changes.
        std::uint64_t waitingSince = 0;
        // A drop is said once, until a command of the slot starts again.
        bool dropSaid = false;
    };

    void start(Slot &slot, const records::ActionFacts &facts);
    void ended(const SlotKey &key);
    bool busy(const std::string &address) const;
    void startNext(const std::string &address);
    static void report(Change change, const QString &problem);

    std::map<Change, QStringList> m_commands;
    std::chrono::seconds m_timeLimit;
    std::map<SlotKey, Slot> m_slots;
    std::uint64_t m_changes = 0;
};

} // namespace alerts
