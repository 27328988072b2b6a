#pragma once

#include "echowatch/history/probe_sample.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QTableView;
class QTimer;

namespace history_view {

class OutageTableModel;
class ProbeHistory;
class RoundTripChart;

// The run so far: ping's statistics, a chart of round trips over a chosen
// span, and the outages. A window of its own, owned by the main window and
// deleted when closed, so that it costs nothing while it is not open; while
// open it catches up with the record a few times a second.
class HistoryWindow final : public QWidget
{
    Q_OBJECT

public:
    enum class Span
    {
        LastFiveMinutes,
        LastHour,
        LastDay,
        WholeRun,
    };

    HistoryWindow(const ProbeHistory &history, QWidget *owner);

    void refresh();

private:
    void describeControls();
    QWidget *makeSpanRow();
    QWidget *makeButtonRow();
    void scheduleRefresh();
    history::TimeSpan chosenSpan() const;
    QString spanDescription(history::TimeSpan span) const;
    void saveOutages();

    const ProbeHistory &m_history;
    QLabel *const m_statistics;
    QComboBox *const m_span;
    RoundTripChart *const m_chart;
    OutageTableModel *const m_outageModel;
    QTableView *const m_outages;
    QTimer *const m_refreshTimer;
};

} // namespace history_view
