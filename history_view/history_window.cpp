#include "echowatch/history_view/history_window.h"

#include "echowatch/history_view/csv_file.h"
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

constexpr std::array<history::Milliseconds, 3> SpanLengths{5 * 60'000, 60 * 60'000,
                                                           24 * 60 * 60'000};

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

constexpr history::TimeSpan AllTime{std::numeric_limits<history::Milliseconds>::min(),
                                    std::numeric_limits<history::Milliseconds>::max()};

QString spanText(history::TimeSpan span)
{
    const auto text = [](history::Milliseconds time) {
        return QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("HH:mm:ss"));
    };
    return text(span.from) + QStringLiteral("–") + text(span.to);
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

HistoryWindow::HistoryWindow(const ProbeHistory &history, QWidget *owner, HostLabel label)
    : QWidget(owner, Qt::Window), m_history(history), m_label(std::move(label)),
      m_statistics(new QPlainTextEdit(this)), m_host(new QComboBox(this)),
      m_span(new QComboBox(this)), m_chart(new RoundTripChart(noProbes(), this)),
      m_reading(new QLabel(this)),
      m_outageModel(new OutageTableModel(noProbes().outages(), noVerdicts(), this)),
      m_outages(new QTableView(this)), m_refreshTimer(new QTimer(this))
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
    layout->addWidget(m_chart, 2);
    layout->addWidget(m_reading);
    layout->addWidget(outagesLabel);
    layout->addWidget(m_outages, 1);
    layout->addWidget(makeButtonRow());

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(RefreshDelay);
    connect(m_refreshTimer, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&history, &ProbeHistory::recorded, this, &HistoryWindow::scheduleRefresh);
    connect(m_span, &QComboBox::currentIndexChanged, this, &HistoryWindow::chooseSpan);
    connect(m_host, &QComboBox::activated, this, &HistoryWindow::showHost);
    connect(m_chart, &RoundTripChart::reading, this, &HistoryWindow::showReading);
    connect(m_chart, &RoundTripChart::zoomChanged, this, &HistoryWindow::refresh);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &HistoryWindow::escape);
    resize(720, 600);
    connect(&history, &ProbeHistory::replaced, m_outageModel, &OutageTableModel::reset);
    connect(&history, &ProbeHistory::whereNoted, m_outageModel, &OutageTableModel::refreshWhere);
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
    m_span->addItems({tr("Last 5 minutes"), tr("Last hour"), tr("Last 24 hours"), tr("Whole run")});
    m_span->setCurrentIndex(static_cast<int>(Span::WholeRun));
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

const history::ProbeRecord &HistoryWindow::shownRecord() const
{
    const history::HostRecords &hosts = m_history.hosts();
    const auto host = hosts.find(m_shownAddress);
    return host ? hosts.at(*host) : noProbes();
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

history::TimeSpan HistoryWindow::chosenSpan() const
{
    const history::TimeSpan whole = shownRecord().wholeRun();
    const auto index = static_cast<std::size_t>(m_span->currentIndex());
    if (index >= SpanLengths.size())
        return whole;
    return history::TimeSpan{whole.to - SpanLengths[index], whole.to};
}

QString HistoryWindow::spanDescription(history::TimeSpan span) const
{
    const history::ProbeRecord &record = shownRecord();
    const QString name = m_chart->isZoomed() ? spanText(span) : m_span->currentText();
    return name + QStringLiteral(": ") +
           statisticsText(record.statisticsIn(span), record.outages().downTimeIn(span),
                          watchedIn(span))
               .replace(QLatin1Char('\n'), QStringLiteral("; "));
}

// A watch going on counts up to the latest probe.
history::Milliseconds HistoryWindow::watchedIn(history::TimeSpan span) const
{
    return m_history.watched(m_shownAddress).within(span, shownRecord().wholeRun().to);
}

const history::OutageWhere &HistoryWindow::shownWhere() const
{
    return m_shownAddress ? m_history.where(*m_shownAddress) : noVerdicts();
}

void HistoryWindow::refresh()
{
    offerHosts();
    const history::ProbeRecord &record = shownRecord();
    QString statistics =
        statisticsText(record.totals(), record.outages().downTime(), watchedIn(AllTime));
    if (m_shownAddress && m_history.earlierRuns(*m_shownAddress) > 0)
        statistics = overWhatTime() + QLatin1Char('\n') + statistics;
    showStatistics(statistics);
    m_chart->setRecord(record);
    m_chart->setSpan(chosenSpan());
    m_chart->setUnwatched(
        m_history.watched(m_shownAddress).gapsIn(m_chart->shownSpan(), record.wholeRun().to));
    if (m_shownAddress)
        m_chart->setCalled(m_history.slowPeriods(*m_shownAddress, record.wholeRun().to),
                           m_history.flappingStretches(*m_shownAddress, record.wholeRun().to));
    else
        m_chart->setCalled({}, {});
    m_chart->setAccessibleDescription(spanDescription(m_chart->shownSpan()));
    if (!m_pointing)
        showReading(QString());
    if (&record.outages() != m_tableOutages) {
        m_tableOutages = &record.outages();
        m_outageModel->setOutages(record.outages(), shownWhere());
    } else {
        m_outageModel->refresh();
    }
}

void HistoryWindow::showStatistics(const QString &statistics)
{
    if (m_statistics->toPlainText() == statistics)
        return;
    m_statistics->setPlainText(statistics);
    // As tall as its lines, no scrolling: two to four of them.
    const auto margins = static_cast<int>(2 * m_statistics->document()->documentMargin());
    m_statistics->setFixedHeight(fontMetrics().lineSpacing() *
                                     (static_cast<int>(statistics.count(QLatin1Char('\n'))) + 1) +
                                 margins);
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
    m_chart->resetZoom();
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

// Earlier runs from the history file make the statistics cover more than
// this run: say from when to when, and how many runs.
QString HistoryWindow::overWhatTime() const
{
    const history::TimeSpan whole = shownRecord().wholeRun();
    return tr("From %1 to %2, this run and %n earlier from the history file:", nullptr,
              static_cast<int>(m_history.earlierRuns(*m_shownAddress)))
        .arg(localDateTimeText(whole.from), localDateTimeText(whole.to - 1));
}

void HistoryWindow::saveOutages()
{
    saveCsvFile(this, tr("Save outages"), QStringLiteral("echowatch-outages.csv"),
                [this](std::ostream &out) {
                    history::writeOutagesCsv(shownRecord().outages(), out, shownWhere());
                });
}

} // namespace history_view
