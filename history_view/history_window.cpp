#include "echowatch/history_view/history_window.h"

#include "echowatch/history_view/csv_file.h"
#include "echowatch/history_view/outage_table_model.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"

#include "echowatch/history/history_csv.h"

#include <QComboBox>
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

namespace history_view {

namespace {

// Often enough to look live, seldom enough that a 1 ms interval costs the
// window nothing it would notice.
constexpr std::chrono::milliseconds RefreshDelay{250};

constexpr std::array<history::Milliseconds, 3> SpanLengths{5 * 60'000, 60 * 60'000,
                                                           24 * 60 * 60'000};

QString statisticsText(const history::RunStatistics &statistics)
{
    QStringList lines{QString::fromStdString(history::transmissionLine(statistics))};
    for (const std::string &line :
         {history::roundTripLine(statistics), history::notSentLine(statistics)}) {
        if (!line.empty())
            lines += QString::fromStdString(line);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

HistoryWindow::HistoryWindow(const ProbeHistory &history, QWidget *owner)
    : QWidget(owner, Qt::Window), m_history(history), m_statistics(new QLabel(this)),
      m_span(new QComboBox(this)), m_chart(new RoundTripChart(history.record(), this)),
      m_outageModel(new OutageTableModel(history.record().outages(), this)),
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

history::TimeSpan HistoryWindow::chosenSpan() const
{
    const history::TimeSpan whole = m_history.record().wholeRun();
    const auto index = static_cast<std::size_t>(m_span->currentIndex());
    if (index >= SpanLengths.size())
        return whole;
    return history::TimeSpan{whole.to - SpanLengths[index], whole.to};
}

QString HistoryWindow::spanDescription(history::TimeSpan span) const
{
    const history::RunStatistics statistics = m_history.record().statisticsIn(span);
    return m_span->currentText() + QStringLiteral(": ") +
           statisticsText(statistics).replace(QLatin1Char('\n'), QStringLiteral("; "));
}

void HistoryWindow::refresh()
{
    m_statistics->setText(statisticsText(m_history.record().totals()));
    const history::TimeSpan span = chosenSpan();
    m_chart->setSpan(span);
    m_chart->setAccessibleDescription(spanDescription(span));
    m_outageModel->refresh();
}

void HistoryWindow::saveOutages()
{
    saveCsvFile(
        this, tr("Save outages"), QStringLiteral("echowatch-outages.csv"),
        [this](std::ostream &out) { history::writeOutagesCsv(m_history.record().outages(), out); });
}

} // namespace history_view
