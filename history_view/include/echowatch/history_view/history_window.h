#pragma once

#include "echowatch/history/host_records.h"
#include "echowatch/history/probe_record.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/history_view/file_span.h"
#include "echowatch/history_view/host_label.h"
#include "echowatch/history_view/shown_span.h"

#include <QWidget>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTableView;
class QTimer;

namespace history_view {

class FileReads;
class OutageTableModel;
class ProbeHistory;
class RoundTripChart;

// One host at a time over a chosen span, from the last 5 minutes to all
// the history file holds: ping's statistics and how long the host was down
// of the time it was watched, a chart of round trips, and the outages.
// What the run's record holds comes from it; what lies before it, from the
// history file, read off the window's thread while the record's part
// shows. A window of its own, owned by the main window and deleted when
// closed, so that it costs nothing while it is not open; while open it
// catches up with the record a few times a second.
class HistoryWindow final : public QWidget
{
    Q_OBJECT

public:
    enum class Span
    {
        LastFiveMinutes,
        LastHour,
        LastDay,
        LastWeek,
        LastMonth,
        LastQuarter,
        LastYear,
        All,
    };

    // label names the hosts in the title and the host box; reader reads
    // the history file, on a worker.
    HistoryWindow(const ProbeHistory &history, QWidget *owner, HostLabel label = {},
                  FileReader reader = {});

    // The host shown, for the title.
    void setHost(const QString &address);
    void refresh();
    // What the chart, the statistics and the outage table show.
    const ShownSpan &shown() const noexcept { return m_shown; }

signals:
    // The user opened an outage row whose path was traced at its start.
    void traceAsked(quint32 address, qint64 outageStart);
    // What is shown now holds the history file's part of the span.
    void fileSpanShown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // What a shown span is of: a pending read keeps showing the same view.
    struct View
    {
        history::HostAddress host;
        int span = 0;
        std::optional<history::TimeSpan> zoom;

        bool operator==(const View &) const = default;
    };

    const history::ProbeRecord &shownRecord() const;
    const history::OutageWhere &shownWhere() const;
    View currentView() const;
    void offerHosts();
    void showHost(int index);
    void describeControls();
    void describeOutages();
    QWidget *makeSpanRow();
    QWidget *makeButtonRow();
    void scheduleRefresh();
    RecordedHost shownHost() const;
    history::TimeSpan knownSpan(const RecordedHost &host) const;
    bool showsAll() const;
    history::ChartGrid chosenGrid(const RecordedHost &host) const;
    std::optional<FileRequest> fileRequestFor(const RecordedHost &host,
                                              const history::ChartGrid &grid) const;
    bool alreadyAsked(const FileRequest &request) const;
    const std::optional<history::Milliseconds> *knownFirstSeen() const;
    void askFile(const FileRequest &request);
    void takeAnswer(const FileRequest &request, const FileAnswer &answer);
    void showSpan(ShownSpan shown);
    void showStatistics(const QString &statistics);
    QString statisticsHeading() const;
    QString spanDescription() const;
    void showFileNote(const QString &text);
    void showReading(const QString &text);
    void chooseSpan();
    void escape();
    void saveOutages();

    const ProbeHistory &m_history;
    const HostLabel m_label;
    QPlainTextEdit *const m_statistics;
    QLabel *m_hostLabel = nullptr;
    QComboBox *const m_host;
    QComboBox *const m_span;
    QLabel *const m_fileNote;
    RoundTripChart *const m_chart;
    QLabel *const m_reading;
    bool m_pointing = false;
    OutageTableModel *const m_outageModel;
    QTableView *const m_outages;
    QTimer *const m_refreshTimer;
    FileReads *const m_reads;
    // The host shown: the latest probed, until the user picks another.
    history::HostAddress m_shownAddress;
    bool m_followLatest = true;
    ShownSpan m_shown;
    View m_shownView;
    // The record's columns of the latest span shown, grown at each refresh.
    RecordColumns m_recordColumns;
    // The latest read asked of the history file, and its answer once in.
    std::optional<FileRequest> m_asked;
    std::optional<FileAnswer> m_answer;
    // When each file first saw each host (none: never), by file and host.
    std::map<std::pair<std::string, std::string>, std::optional<history::Milliseconds>>
        m_firstSeen;
};

// Where a window of that size goes beside its owner's frame: to its right,
// else to its left, else on the side with more room; top edges level, all
// of it on the available part of the screen, shrunk to fit it if need be.
QRect besideOwner(QRect owner, QSize size, QRect available);

} // namespace history_view
