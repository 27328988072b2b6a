#pragma once

#include "echowatch/records/action_environment.h"

#include <QObject>
#include <QStringList>

#include <deque>

class QProcess;

namespace alerts {

// The user's commands for the host's going down and coming back: one at a
// time, the next waiting for the last to end, never waited for by the
// window. No shell runs them; their facts are in their environment, and
// what they print goes where the window's own output goes.
class HostActions : public QObject
{
    Q_OBJECT

public:
    // Empty words: nothing runs on that change.
    HostActions(QStringList onDown, QStringList onUp, QObject *parent);
    ~HostActions() override;

    void run(const records::ActionFacts &facts);

signals:
    // After a command ended (or could not start), for what waits on it.
    void finished();

private:
    void startNext();
    void ended(const QString &problem);
    static void report(const QString &option, const QString &problem);

    QStringList m_onDown;
    QStringList m_onUp;
    std::deque<records::ActionFacts> m_waiting;
    QProcess *m_running = nullptr;
    QString m_option;
};

} // namespace alerts
