#pragma once

#include "echowatch/history/probe_record.h"

#include <QObject>
#include <QPointer>

class Form1;
class HistoryWindow;
class QAction;

namespace probe {
struct ProbeEvent;
} // namespace probe

// What the window offers beyond its own controls for looking back: a record
// of every probe it shows, and the actions of its context menu that read it
// (the History window, following the log, copying it, saving the record).
// Owned by the window. Until the user takes one of the actions, nothing
// shows, and nothing is written anywhere.
class HistoryActions : public QObject
{
    Q_OBJECT

public:
    explicit HistoryActions(Form1 &window);

    const history::ProbeRecord &record() const noexcept { return m_record; }

    void showHistory();
    void copyLog() const;
    void copySelectedLogLines() const;
    void saveHistory();

signals:
    // After each probe is recorded, for the History window while it is open.
    void recorded();

private:
    void recordProbe(const probe::ProbeEvent &event);
    QAction *addMenuAction(const QString &caption);
    void followLogWhenAsked();
    void copyLogOnShortcut();

    Form1 &m_window;
    history::ProbeRecord m_record;
    QPointer<HistoryWindow> m_historyWindow;
    QAction *m_followNewLines = nullptr;
};
