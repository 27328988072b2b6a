#include "echowatch/history_view/history_window.h"

#include "echowatch/history_view/csv_file.h"
#include "echowatch/history_view/outage_table_model.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/history/history_csv.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <chrono>

#include <arpa/inet.h>

namespace history_view {

namespace {

// Often enough to look live, seldom enough that a 1 ms interval costs the
// window nothing it would notice.
constexpr std::chrono::milliseconds RefreshDelay{250};

constexpr std::array<history::Milliseconds, 3> SpanLengths{5 * 60'000, 60 * 60'000,
                                                           24 * 60 * 60'000};

// ping's lines, with how long the host was down after the first.
QString statisticsText(const history::RunStatistics &statistics, history::Milliseconds down)
{
    QStringList lines{QString::fromStdString(history::transmissionLine(statistics))};
    const history::Milliseconds stretch = statistics.transmitted + statistics.notSent > 0
                                              ? statistics.lastSentAt - statistics.firstSentAt
                                              : 0;
    for (const std::string &line :
         {history::downTimeLine(down, stretch), history::roundTripLine(statistics),
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

QString hostText(std::uint32_t address)
{
    if (address == 0)
        return QCoreApplication::translate("HistoryWindow", "no address");
    const in_addr binary{address};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &binary, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

HistoryWindow::HistoryWindow(const ProbeHistory &history, QWidget *owner)
    : QWidget(owner, Qt::Window), m_history(history), m_statistics(new QLabel(this)),
      m_host(new QComboBox(this)), m_span(new QComboBox(this)),
      m_chart(new RoundTripChart(noProbes(), this)),
      m_outageModel(new OutageTableModel(noProbes().outages(), this)),
      m_outages(new QTableView(this)), m_refreshTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("EchoWatch History"));

    describeControls();

    auto *outagesLabel = new QLabel(tr("&Outages:"), this);
    outagesLabel->setBuddy(m_outages);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_statistics);
    layout->addWidget(makeSpanRow());
    layout->addWidget(m_chart, 2);
    layout->addWidget(outagesLabel);
    layout->addWidget(m_outages, 1);
    layout->addWidget(makeButtonRow());

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(RefreshDelay);
    connect(m_refreshTimer, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&history, &ProbeHistory::recorded, this, &HistoryWindow::scheduleRefresh);
    connect(m_span, &QComboBox::currentIndexChanged, this, &HistoryWindow::refresh);
    connect(m_host, &QComboBox::activated, this, &HistoryWindow::showHost);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    resize(640, 520);
    refresh();
}

void HistoryWindow::describeControls()
{
    m_statistics->setObjectName(QStringLiteral("Statistics"));
    // A reader announces the figures as its name, and what they are after.
    m_statistics->setAccessibleDescription(tr("Statistics"));
    m_statistics->setTextFormat(Qt::PlainText);
    m_statistics->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_statistics->setFocusPolicy(Qt::StrongFocus);
    m_chart->setAccessibleName(tr("Round-trip chart"));
    m_outages->setObjectName(QStringLiteral("Outages"));
    m_outages->setAccessibleName(tr("Outages"));
    m_outages->setModel(m_outageModel);
    m_outages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_outages->setTabKeyNavigation(false);
    m_outages->horizontalHeader()->setStretchLastSection(true);
    m_outages->verticalHeader()->hide();
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
    auto *save = new QPushButton(tr("Save &outages…"), row);
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
        const QString text = hostText(hosts.address(host));
        if (index >= m_host->count())
            m_host->addItem(text, QVariant::fromValue(hosts.address(host)));
        else if (m_host->itemText(index) != text)
            m_host->setItemText(index, text);
        m_host->setItemData(index, QVariant::fromValue(hosts.address(host)));
        if (hosts.address(host) == m_shownAddress)
            m_host->setCurrentIndex(index);
    }
    m_hostLabel->setVisible(hosts.size() > 1);
    m_host->setVisible(hosts.size() > 1);
    setWindowTitle(tr("EchoWatch History – %1").arg(hostText(m_shownAddress)));
}

void HistoryWindow::showHost(int index)
{
    const history::HostRecords &hosts = m_history.hosts();
    m_shownAddress = m_host->itemData(index).value<std::uint32_t>();
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
    return m_span->currentText() + QStringLiteral(": ") +
           statisticsText(record.statisticsIn(span), record.outages().downTimeIn(span))
               .replace(QLatin1Char('\n'), QStringLiteral("; "));
}

void HistoryWindow::refresh()
{
    offerHosts();
    const history::ProbeRecord &record = shownRecord();
    m_statistics->setText(statisticsText(record.totals(), record.outages().downTime()));
    const history::TimeSpan span = chosenSpan();
    m_chart->setRecord(record);
    m_chart->setSpan(span);
    m_chart->setAccessibleDescription(spanDescription(span));
    if (&record.outages() != m_tableOutages) {
        m_tableOutages = &record.outages();
        m_outageModel->setOutages(record.outages());
    } else {
        m_outageModel->refresh();
    }
}

void HistoryWindow::saveOutages()
{
    saveCsvFile(
        this, tr("Save outages"), QStringLiteral("echowatch-outages.csv"),
        [this](std::ostream &out) { history::writeOutagesCsv(shownRecord().outages(), out); });
}

} // namespace history_view
