#include "echowatch/history_view/history_window.h"

#include "echowatch/history_view/csv_file.h"
#include "echowatch/history_view/file_reads.h"
#include "echowatch/history_view/outage_table_model.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/history_view/where_column.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/history/history_csv.h"
#include "echowatch/net/ipv4_text.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>

namespace history_view {

namespace {

// Often enough to look live, seldom enough that a 1 ms interval costs the
// window nothing it would notice.
constexpr std::chrono::milliseconds RefreshDelay{250};

// Between the main window and this one.
constexpr int WindowGap = 8;

constexpr history::Milliseconds Hour = 60 * history::MillisecondsPerMinute;
constexpr history::Milliseconds Day = 24 * Hour;
// The spans that end with the latest probe, in the order offered; All
// follows them.
constexpr std::array<history::Milliseconds, 7> SpanLengths{
    5 * history::MillisecondsPerMinute, Hour, Day, 7 * Day, 30 * Day, 90 * Day, 365 * Day};

// ping's lines, with how long the host was down of the time it was
// watched after the first.
QString statisticsText(const history::RunStatistics &statistics, history::Milliseconds down,
                       history::Milliseconds watched)
{
    QStringList lines{QString::fromStdString(history::transmissionLine(statistics))};
    for (const std::string &line :
         {history::downTimeLine(down, watched), history::roundTripLine(statistics),
          history::notSentLine(statistics)}) {
        if (!line.empty())
            lines += QString::fromStdString(line);
    }
    return lines.join(QLatin1Char('\n'));
}

const history::ProbeRecord &noProbes()
{
    static const history::ProbeRecord none(1);
    return none;
}

const history::OutageWhere &noVerdicts()
{
    static const history::OutageWhere none;
    return none;
}

QString hostText(history::HostAddress address)
{
    if (!address)
        return QCoreApplication::translate("HistoryWindow", "no address");
    return QString::fromStdString(net::ipv4Text(*address));
}

// As a host box item's data: -1 for no address.
QVariant addressData(history::HostAddress address)
{
    return QVariant::fromValue(address ? qint64{*address} : qint64{-1});
}

history::HostAddress addressOf(const QVariant &data)
{
    const qint64 value = data.toLongLong();
    return value < 0 ? std::nullopt : history::HostAddress(static_cast<std::uint32_t>(value));
}

// "13:04:05–13:09:05", with the dates when they differ.
QString spanText(history::TimeSpan span)
{
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(span.from);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(span.to);
    const QString format = from.date() == to.date() ? QStringLiteral("HH:mm:ss")
                                                    : QStringLiteral("yyyy-MM-dd HH:mm");
    return from.toString(format) + QStringLiteral("–") + to.toString(format);
}

FileAnswer readTheFile(const FileRequest &request)
{
    return readFromFile(request);
}

// Where a window of that length starts along one axis: after its owner,
// else before it, else against the screen's edge on the side with more room.
int placeAlong(int ownerStart, int ownerEnd, int length, int availableStart, int availableEnd)
{
    if (ownerEnd + WindowGap + length <= availableEnd)
        return ownerEnd + WindowGap;
    if (ownerStart - WindowGap - length >= availableStart)
        return ownerStart - WindowGap - length;
    const bool after = availableEnd - ownerEnd >= ownerStart - availableStart;
    return after ? availableEnd - length : availableStart;
}

} // namespace

QRect besideOwner(QRect owner, QSize size, QRect available)
{
    const QSize fitted = size.boundedTo(available.size());
    const int x = placeAlong(owner.left(), owner.right() + 1, fitted.width(), available.left(),
                             available.right() + 1);
    const int y =
        std::clamp(owner.top(), available.top(), available.bottom() + 1 - fitted.height());
    return QRect(QPoint(x, y), fitted);
}

HistoryWindow::HistoryWindow(const ProbeHistory &history, QWidget *owner, HostLabel label,
                             FileReader reader)
    : QWidget(owner, Qt::Window), m_history(history), m_label(std::move(label)),
      m_statistics(new QPlainTextEdit(this)), m_host(new QComboBox(this)),
      m_span(new QComboBox(this)), m_fileNote(new QLabel(this)),
      m_chart(new RoundTripChart(this)), m_reading(new QLabel(this)),
      m_outageModel(new OutageTableModel(this)), m_outages(new QTableView(this)),
      m_refreshTimer(new QTimer(this)),
      m_reads(new FileReads(reader ? std::move(reader) : FileReader(readTheFile), this))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setHost(QString());

    describeControls();
    describeOutages();

    auto *outagesLabel = new QLabel(tr("&Outages:"), this);
    outagesLabel->setBuddy(m_outages);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_statistics);
    layout->addWidget(makeSpanRow());
    layout->addWidget(m_fileNote);
    layout->addWidget(m_chart, 2);
    layout->addWidget(m_reading);
    layout->addWidget(outagesLabel);
    layout->addWidget(m_outages, 1);
    layout->addWidget(makeButtonRow());

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(RefreshDelay);
    connect(m_refreshTimer, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&history, &ProbeHistory::recorded, this, &HistoryWindow::scheduleRefresh);
    // A record rebuilt with earlier runs merged in is put together anew.
    connect(&history, &ProbeHistory::replaced, this, [this] {
        m_recordColumns.forget();
        refresh();
    });
    connect(&history, &ProbeHistory::whereNoted, this, &HistoryWindow::refresh);
    connect(&history, &ProbeHistory::historyFileChanged, this, &HistoryWindow::refresh);
    connect(m_span, &QComboBox::currentIndexChanged, this, &HistoryWindow::chooseSpan);
    connect(m_host, &QComboBox::activated, this, &HistoryWindow::showHost);
    connect(m_chart, &RoundTripChart::reading, this, &HistoryWindow::showReading);
    connect(m_chart, &RoundTripChart::zoomChanged, this, &HistoryWindow::refresh);
    // Resizes come in bursts as the window is laid out: one refresh after
    // them, so that the file is read at the width the chart ends up with.
    connect(m_chart, &RoundTripChart::columnCountChanged, this,
            [this] { QTimer::singleShot(0, this, &HistoryWindow::refresh); });
    connect(m_reads, &FileReads::answered, this, &HistoryWindow::takeAnswer);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &HistoryWindow::escape);
    resize(720, 600);
    // Double-click or Enter on an outage a trace was kept for.
    connect(m_outages, &QTableView::activated, this, [this](const QModelIndex &index) {
        const auto start = m_outageModel->tracedOutageStart(index.row());
        if (start && m_shownAddress)
            emit traceAsked(*m_shownAddress, *start);
    });
    refresh();
}

void HistoryWindow::setHost(const QString &address)
{
    setWindowTitle(address.isEmpty() ? tr("History")
                                     : tr("History of %1").arg(hostTitle(m_label, address)));
}

// Text to read and copy, never to edit: no caret blinks in it, and a
// screen reader reads it as text.
void HistoryWindow::describeControls()
{
    m_statistics->setObjectName(QStringLiteral("Statistics"));
    m_statistics->setAccessibleName(tr("Statistics"));
    m_statistics->setReadOnly(true);
    m_statistics->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_statistics->setCursorWidth(0);
    m_statistics->setFrameShape(QFrame::NoFrame);
    m_statistics->setBackgroundRole(QPalette::Window);
    m_statistics->viewport()->setBackgroundRole(QPalette::Window);
    m_statistics->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_statistics->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chart->setAccessibleName(tr("Round-trip chart"));
    m_fileNote->setObjectName(QStringLiteral("FileNote"));
    m_fileNote->setTextFormat(Qt::PlainText);
    m_fileNote->setWordWrap(true);
    m_fileNote->hide();
    m_reading->setObjectName(QStringLiteral("ChartReading"));
    m_reading->setTextFormat(Qt::PlainText);
    showReading(QString());
}

void HistoryWindow::describeOutages()
{
    m_outages->setObjectName(QStringLiteral("Outages"));
    m_outages->setAccessibleName(tr("Outages"));
    m_outages->setModel(m_outageModel);
    m_outages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_outages->setTabKeyNavigation(false);
    // A cause is one line: wrapped, its closing bracket would stand alone.
    m_outages->setWordWrap(false);
    m_outages->setTextElideMode(Qt::ElideMiddle);
    m_outages->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_outages->horizontalHeader()->setStretchLastSection(true);
    m_outages->verticalHeader()->hide();
    keepWhereReadable(*m_outages);
}

QWidget *HistoryWindow::makeSpanRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_span->setObjectName(QStringLiteral("Span"));
    m_span->setAccessibleName(tr("Chart span"));
    m_span->addItems({tr("Last 5 minutes"), tr("Last hour"), tr("Last 24 hours"),
                      tr("Last 7 days"), tr("Last 30 days"), tr("Last 90 days"),
                      tr("Last 365 days"), tr("All")});
    m_span->setCurrentIndex(static_cast<int>(Span::All));
    auto *label = new QLabel(tr("&Span:"), row);
    label->setBuddy(m_span);
    // Offered only once this run has probed more than one host.
    m_host->setObjectName(QStringLiteral("Host"));
    m_host->setAccessibleName(tr("Host"));
    m_hostLabel = new QLabel(tr("&Host:"), row);
    m_hostLabel->setBuddy(m_host);
    m_hostLabel->hide();
    m_host->hide();
    layout->addWidget(m_hostLabel);
    layout->addWidget(m_host);
    layout->addWidget(label);
    layout->addWidget(m_span);
    layout->addStretch();
    return row;
}

QWidget *HistoryWindow::makeButtonRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *save = new QPushButton(tr("Sa&ve outages…"), row);
    save->setAccessibleName(tr("Save outages"));
    auto *close = new QPushButton(tr("&Close"), row);
    close->setAccessibleName(tr("Close"));
    layout->addStretch();
    layout->addWidget(save);
    layout->addWidget(close);
    connect(save, &QPushButton::clicked, this, &HistoryWindow::saveOutages);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    return row;
}

void HistoryWindow::scheduleRefresh()
{
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

// The file is read at the chart's width once it has one.
void HistoryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, &HistoryWindow::refresh);
}

const history::ProbeRecord &HistoryWindow::shownRecord() const
{
    const history::HostRecords &hosts = m_history.hosts();
    const auto host = hosts.find(m_shownAddress);
    return host ? hosts.at(*host) : noProbes();
}

const history::OutageWhere &HistoryWindow::shownWhere() const
{
    return m_shownAddress ? m_history.where(*m_shownAddress) : noVerdicts();
}

HistoryWindow::View HistoryWindow::currentView() const
{
    return View{m_shownAddress, m_span->currentIndex(), m_chart->zoom()};
}

// The run's hosts in the order first probed, the one shown current.
void HistoryWindow::offerHosts()
{
    const history::HostRecords &hosts = m_history.hosts();
    if (hosts.empty())
        return;
    if (m_followLatest)
        m_shownAddress = hosts.address(hosts.latest());
    for (std::size_t host = 0; host < hosts.size(); ++host) {
        const auto index = static_cast<int>(host);
        const QString text = hostTitle(m_label, hostText(hosts.address(host)));
        if (index >= m_host->count())
            m_host->addItem(text, addressData(hosts.address(host)));
        else if (m_host->itemText(index) != text)
            m_host->setItemText(index, text);
        m_host->setItemData(index, addressData(hosts.address(host)));
        if (hosts.address(host) == m_shownAddress)
            m_host->setCurrentIndex(index);
    }
    m_hostLabel->setVisible(hosts.size() > 1);
    m_host->setVisible(hosts.size() > 1);
    setHost(hostText(m_shownAddress));
}

void HistoryWindow::showHost(int index)
{
    const history::HostRecords &hosts = m_history.hosts();
    m_shownAddress = addressOf(m_host->itemData(index));
    m_followLatest = !hosts.empty() && m_shownAddress == hosts.address(hosts.latest());
    refresh();
}

RecordedHost HistoryWindow::shownHost() const
{
    return RecordedHost{shownRecord(), m_history.watched(m_shownAddress), shownWhere()};
}

// The earliest and latest times the window itself knows of the host: All
// starts with its first watch's start rather than its first probe's so
// that the whole of that watch counts.
history::TimeSpan HistoryWindow::knownSpan(const RecordedHost &host) const
{
    const history::Milliseconds latest = latestTime(host);
    history::Milliseconds first = host.record.wholeRun().from;
    if (const std::vector<history::TimeSpan> watches = host.watched.watches(latest);
        !watches.empty())
        first = std::min(first, watches.front().from);
    return {first, latest};
}

bool HistoryWindow::showsAll() const
{
    return !m_chart->isZoomed() && m_span->currentIndex() == static_cast<int>(Span::All);
}

// A zoom stays where it was put; the others end with the latest the host
// was probed or watched, All starts with the first the file or the record
// holds.
history::ChartGrid HistoryWindow::chosenGrid(const RecordedHost &host) const
{
    const std::size_t columns = m_chart->columnCount();
    if (const auto zoom = m_chart->zoom())
        return history::gridOver(*zoom, columns);
    const auto index = static_cast<std::size_t>(m_span->currentIndex());
    if (index < SpanLengths.size())
        return history::trailingGrid(SpanLengths[index], latestTime(host), columns);
    const auto *seen = knownFirstSeen();
    return wholeGrid({knownSpan(host), columns, std::nullopt},
                     seen ? *seen : std::optional<history::Milliseconds>());
}

// When the history file first saw the shown host, if it was asked.
const std::optional<history::Milliseconds> *HistoryWindow::knownFirstSeen() const
{
    if (m_history.historyFile().isEmpty() || !m_shownAddress)
        return nullptr;
    const auto found = m_firstSeen.find(
        {m_history.historyFile().toStdString(), net::ipv4Text(*m_shownAddress)});
    return found == m_firstSeen.end() ? nullptr : &found->second;
}

// What to ask the file, if anything: for All before the file's first
// sight of the host is known, that and its part of All in one read; else
// the columns before the record's, unless the file holds nothing older
// than the record.
std::optional<FileRequest> HistoryWindow::fileRequestFor(const RecordedHost &host,
                                                         const history::ChartGrid &grid) const
{
    if (m_history.historyFile().isEmpty() || !m_shownAddress || !isVisible())
        return std::nullopt;
    FileRequest request{m_history.historyFile().toStdString(), net::ipv4Text(*m_shownAddress),
                        std::nullopt, std::nullopt};
    const auto *seen = knownFirstSeen();
    const std::optional<history::Milliseconds> recordFrom = firstKept(host.record);
    if (!seen && showsAll()) {
        request.whole = WholeSpan{knownSpan(host), m_chart->columnCount(), recordFrom};
        return request;
    }
    request.grid = filePartOf(grid, recordFrom, seen);
    return request.grid ? std::optional(request) : std::nullopt;
}

// All's question stays the same while the latest time moves with each
// probe: its answer's grid is held against the window's own as it comes.
bool HistoryWindow::alreadyAsked(const FileRequest &request) const
{
    if (m_asked && m_asked->whole && request.whole)
        return m_asked->path == request.path && m_asked->host == request.host &&
               m_asked->whole->columns == request.whole->columns;
    return m_asked == request;
}

void HistoryWindow::askFile(const FileRequest &request)
{
    if (alreadyAsked(request))
        return;
    m_asked = request;
    m_answer.reset();
    m_reads->read(request);
}

void HistoryWindow::takeAnswer(const FileRequest &request, const FileAnswer &answer)
{
    if (answer.error.empty())
        m_firstSeen[{request.path, request.host}] = answer.firstSeen;
    if (request != m_asked)
        return;
    // What All's grid asks now that the first sight is known, answered; a
    // failed read stays the answer to All until the span changes.
    if (request.whole && answer.error.empty())
        m_asked = FileRequest{request.path, request.host, answer.grid, std::nullopt};
    m_answer = answer;
    refresh();
}

// The record at once; the file's part as it comes, the view shown before
// staying up meanwhile when it is the same one grown by a column.
void HistoryWindow::refresh()
{
    offerHosts();
    const RecordedHost host = shownHost();
    const history::ChartGrid grid = chosenGrid(host);
    const std::optional<FileRequest> request = fileRequestFor(host, grid);
    if (!request) {
        showFileNote({});
        return showSpan(composeSpan(host, grid, nullptr, 0, &m_recordColumns));
    }
    askFile(*request);
    if (!m_answer) {
        if (m_shownView == currentView() && m_shown.fileColumns > 0)
            return;
        showFileNote(tr("Reading the history file…"));
        return showSpan(composeSpan(host, grid, nullptr, 0, &m_recordColumns));
    }
    if (!m_answer->error.empty()) {
        showFileNote(tr("The history file %1 cannot be read (%2): this shows this run alone.")
                         .arg(m_history.historyFile(), QString::fromStdString(m_answer->error)));
        return showSpan(composeSpan(host, grid, nullptr, 0, &m_recordColumns));
    }
    showFileNote({});
    const FileSpan *file = m_answer->span ? &*m_answer->span : nullptr;
    showSpan(composeSpan(host, grid, file, request->grid ? request->grid->columns : 0,
                         &m_recordColumns));
}

void HistoryWindow::showSpan(ShownSpan shown)
{
    m_shown = std::move(shown);
    m_shownView = currentView();
    m_chart->setShown(m_shown);
    QString statistics = statisticsText(m_shown.statistics, m_shown.down, m_shown.watched);
    const QString heading = statisticsHeading();
    if (!heading.isEmpty())
        statistics = heading + QLatin1Char('\n') + statistics;
    showStatistics(statistics);
    if (m_shownAddress) {
        const history::Milliseconds now = latestTime(shownHost());
        std::vector<history::TimeSpan> slow = m_history.slowPeriods(*m_shownAddress, now);
        slow.insert(slow.end(), m_shown.slow.begin(), m_shown.slow.end());
        m_shown.slow = joinedStretches(std::move(slow));
        m_chart->setCalled(m_shown.slow, m_history.flappingStretches(*m_shownAddress, now));
    } else {
        m_chart->setCalled({}, {});
    }
    m_chart->setAccessibleDescription(spanDescription());
    if (!m_pointing)
        showReading(QString());
    m_outageModel->setOutages(std::move(m_shown.outages), std::move(m_shown.where));
    if (m_shown.fileColumns > 0)
        emit fileSpanShown();
}

void HistoryWindow::showStatistics(const QString &statistics)
{
    if (m_statistics->toPlainText() == statistics)
        return;
    m_statistics->setPlainText(statistics);
    // As tall as its lines, no scrolling: two to five of them.
    const auto margins = static_cast<int>(2 * m_statistics->document()->documentMargin());
    m_statistics->setFixedHeight(fontMetrics().lineSpacing() *
                                     (static_cast<int>(statistics.count(QLatin1Char('\n'))) + 1) +
                                 margins);
}

// Figures from the history file cover more than this run: say from when
// to when, and whence.
QString HistoryWindow::statisticsHeading() const
{
    const history::RunStatistics &statistics = m_shown.statistics;
    const bool probed = statistics.firstSentAt <= statistics.lastSentAt;
    const QString from = localDateTimeText(probed ? statistics.firstSentAt : m_shown.grid.span.from);
    const QString to = localDateTimeText(probed ? statistics.lastSentAt : m_shown.grid.span.to - 1);
    if (m_shown.fileColumns > 0)
        return tr("From %1 to %2, from the history file and this run:").arg(from, to);
    if (m_shownAddress && m_history.earlierRuns(*m_shownAddress) > 0 && probed &&
        statistics.firstSentAt < m_history.earlierRunsUntil(*m_shownAddress))
        return tr("From %1 to %2, this run and %n earlier from the history file:", nullptr,
                  static_cast<int>(m_history.earlierRuns(*m_shownAddress)))
            .arg(from, to);
    return QString();
}

// The span shown and its figures, for a screen reader.
QString HistoryWindow::spanDescription() const
{
    const QString name =
        m_chart->isZoomed() ? spanText(m_shown.grid.span) : m_span->currentText();
    return name + QStringLiteral(": ") +
           statisticsText(m_shown.statistics, m_shown.down, m_shown.watched)
               .replace(QLatin1Char('\n'), QStringLiteral("; "));
}

// Why the chart shows less than the span, or that more is coming.
void HistoryWindow::showFileNote(const QString &text)
{
    if (m_fileNote->text() != text)
        m_fileNote->setText(text);
    m_fileNote->setVisible(!text.isEmpty());
}

// What the pointer is over, else how to read and zoom the chart.
void HistoryWindow::showReading(const QString &text)
{
    m_pointing = !text.isEmpty();
    if (!text.isEmpty())
        m_reading->setText(text);
    else if (m_chart->isZoomed())
        m_reading->setText(
            tr("Showing %1. Escape shows the whole span.").arg(spanText(m_chart->shownSpan())));
    else
        m_reading->setText(tr("Point at the chart to read it; drag across it to zoom in."));
}

void HistoryWindow::chooseSpan()
{
    if (m_chart->isZoomed())
        m_chart->resetZoom();
    else
        refresh();
}

// Out of a zoom first, then out of the window.
void HistoryWindow::escape()
{
    if (m_chart->isZoomed())
        m_chart->resetZoom();
    else
        close();
}

void HistoryWindow::saveOutages()
{
    saveCsvFile(this, tr("Save outages"), QStringLiteral("echowatch-outages.csv"),
                [this](std::ostream &out) {
                    history::writeOutagesCsv(std::span(m_outageModel->outages()), out,
                                             m_outageModel->where());
                });
}

} // namespace history_view
