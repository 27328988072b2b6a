#pragma once

#include "echowatch/history_view/host_label.h"

#include <QObject>
#include <QPointer>
#include <QString>

class Form1;

namespace history_view {

class HistoryWindow;
class ProbeHistory;

// The context menu's ways of looking back at the probes: the History
// window (also on Ctrl+H) and saving the record as a CSV file. Owned by
// the window. Until the user takes one of them, nothing shows, and nothing
// is written anywhere.
class HistoryActions : public QObject
{
    Q_OBJECT

public:
    // history must outlive the window, or be owned by it; so must what
    // label reads.
    HistoryActions(Form1 &window, const ProbeHistory &history, HostLabel label = {});

    void showHistory();
    void saveHistory();

signals:
    // From the History window: the trace kept for the outage is asked for.
    void traceAsked(quint32 address, qint64 outageStart);

private:
    void placeBesideWindow();

    Form1 &m_window;
    const ProbeHistory &m_history;
    const HostLabel m_label;
    QPointer<HistoryWindow> m_historyWindow;
};

} // namespace history_view
