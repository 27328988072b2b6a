#pragma once

#include "echowatch/history/host_records.h"
#include "echowatch/history/probe_record.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/history_view/host_label.h"

#include <QWidget>

#include <cstdint>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTableView;
class QTimer;

namespace history_view {

class OutageTableModel;
class ProbeHistory;
class RoundTripChart;

// The run so far for one host at a time: ping's statistics and how long
// the host was down of the time it was watched, a chart of round trips
// over a chosen span, and the outages. A window of its own, owned by the main window and
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

    // label names the hosts in the title and the host box.
    HistoryWindow(const ProbeHistory &history, QWidget *owner, HostLabel label = {});

    // The host shown, for the title.
    void setHost(const QString &address);
    void refresh();

signals:
    // The user opened an outage row whose path was traced at its start.
    void traceAsked(quint32 address, qint64 outageStart);

private:
    void showStatistics(const QString &statistics);
    const history::ProbeRecord &shownRecord() const;
    const history::OutageWhere &shownWhere() const;
    // How long the shown host was watched within the span.
    history::Milliseconds watchedIn(history::TimeSpan span) const;
    void offerHosts();
    void showHost(int index);
    void describeControls();
    void describeOutages();
    QWidget *makeSpanRow();
    QWidget *makeButtonRow();
    void scheduleRefresh();
    history::TimeSpan chosenSpan() const;
    QString spanDescription(history::TimeSpan span) const;
    void showReading(const QString &text);
    void chooseSpan();
    void escape();
    QString overWhatTime() const;
    void saveOutages();

    const ProbeHistory &m_history;
    const HostLabel m_label;
    QPlainTextEdit *const m_statistics;
    QLabel *m_hostLabel = nullptr;
    QComboBox *const m_host;
    QComboBox *const m_span;
    RoundTripChart *const m_chart;
    QLabel *const m_reading;
    bool m_pointing = false;
    OutageTableModel *const m_outageModel;
    QTableView *const m_outages;
    QTimer *const m_refreshTimer;
    // The host shown: the latest probed, until the user picks another.
    history::HostAddress m_shownAddress;
    bool m_followLatest = true;
    const history::OutageList *m_tableOutages = nullptr;
};

// Where a window of that size goes beside its owner's frame: to its right,
// else to its left, else on the side with more room; top edges level, all
// of it on the available part of the screen, shrunk to fit it if need be.
QRect besideOwner(QRect owner, QSize size, QRect available);

} // namespace history_view
