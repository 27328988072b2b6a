#include "echowatch/history_view/round_trip_chart.h"

#include "echowatch/history/probe_record.h"

#include <QDateTime>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace history_view {

namespace {

constexpr int LeftMargin = 64;
constexpr int RightMargin = 12;
constexpr int TopMargin = 10;
constexpr int BottomMargin = 22;
constexpr int FailureBandHeight = 6;
constexpr double MicrosecondsPerMillisecond = 1000.0;
constexpr history::Milliseconds MillisecondsPerDay = 86'400'000;

// Readable on light and dark bases alike.
const QColor TimeoutColour(220, 50, 47);
const QColor UnreachableColour(230, 140, 0);
const QColor OtherFailureColour(160, 90, 220);
const QColor OutageShade(220, 50, 47, 45);

// The smallest 1, 2 or 5 times a power of ten at or above the value.
double roundedUp(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= value)
            return step * power;
    }
    return 10.0 * power;
}

QString millisecondsLabel(double milliseconds)
{
    return QString::number(milliseconds, 'g', 3) + QStringLiteral(" ms");
}

QString timeLabel(history::Milliseconds time, history::TimeSpan span)
{
    const QString format = span.to - span.from > MillisecondsPerDay
                               ? QStringLiteral("yyyy-MM-dd HH:mm")
                               : QStringLiteral("HH:mm:ss");
    return QDateTime::fromMSecsSinceEpoch(time).toString(format);
}

const QColor *failureColour(const history::ChartColumn &column)
{
    const auto most = std::max({column.timeouts, column.unreachables, column.otherFailures});
    if (most == 0)
        return nullptr;
    if (column.timeouts == most)
        return &TimeoutColour;
    return column.unreachables == most ? &UnreachableColour : &OtherFailureColour;
}

} // namespace

RoundTripChart::RoundTripChart(const history::ProbeRecord &record, QWidget *parent)
    : QWidget(parent), m_record(record)
{
    setObjectName(QStringLiteral("RoundTripChart"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 160);
}

void RoundTripChart::setSpan(history::TimeSpan span)
{
    m_span = span;
    update();
}

QSize RoundTripChart::sizeHint() const
{
    return QSize(640, 240);
}

QRect RoundTripChart::plotArea() const
{
    return rect().adjusted(LeftMargin, TopMargin, -RightMargin, -BottomMargin);
}

int RoundTripChart::xOf(history::Milliseconds time, QRect plot) const
{
    const double fraction =
        static_cast<double>(time - m_span.from) /
        static_cast<double>(std::max<history::Milliseconds>(m_span.to - m_span.from, 1));
    return plot.left() + static_cast<int>(std::clamp(fraction, 0.0, 1.0) * plot.width());
}

double RoundTripChart::scaleTop() const
{
    std::uint32_t longest = 0;
    for (const history::ChartColumn &column : m_columns) {
        if (column.answered > 0)
            longest = std::max(longest, column.maximumMicroseconds);
    }
    return roundedUp(std::max(longest / MicrosecondsPerMillisecond, 0.01));
}

void RoundTripChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect plot = plotArea();
    if (plot.width() <= 0 || plot.height() <= FailureBandHeight)
        return;
    m_columns.resize(static_cast<std::size_t>(plot.width()));
    history::reduceToColumns(m_record, m_span, m_columns);
    const double top = scaleTop();
    drawOutages(painter, plot);
    drawColumns(painter, plot, top);
    drawAxes(painter, plot, top);
    drawLegend(painter, plot);
    // The chart takes the focus so that a screen reader reads its
    // description on the way through; a keyboard user sees where it is.
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// Above the plot's top right, one swatch and word per colour.
void RoundTripChart::drawLegend(QPainter &painter, QRect plot) const
{
    const std::pair<QColor, QString> entries[] = {
        {palette().color(QPalette::Highlight), tr("answered")},
        {TimeoutColour, tr("timeout")},
        {UnreachableColour, tr("unreachable")},
        {OtherFailureColour, tr("other failure")},
        {OutageShade, tr("outage")},
    };
    const QFontMetrics metrics = painter.fontMetrics();
    const int swatch = metrics.ascent() - 2;
    int right = plot.right();
    for (auto entry = std::rbegin(entries); entry != std::rend(entries); ++entry) {
        const int textWidth = metrics.horizontalAdvance(entry->second);
        const int left = right - swatch - 4 - textWidth;
        painter.fillRect(QRect(left, plot.top() + 2, swatch, swatch), entry->first);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPoint(left + swatch + 4, plot.top() + 1 + metrics.ascent()),
                         entry->second);
        right = left - 12;
    }
}

// Outages closer than a pixel share it, so a flapping host's thousands of
// outages cost as many fills as there are shaded stretches on screen.
void RoundTripChart::drawOutages(QPainter &painter, QRect plot) const
{
    int shadedFrom = -1;
    int shadedTo = -1;
    const auto fill = [&] {
        if (shadedTo > shadedFrom)
            painter.fillRect(QRect(shadedFrom, plot.top(), shadedTo - shadedFrom, plot.height()),
                             OutageShade);
    };
    for (const history::Outage &outage : m_record.outages()) {
        const history::Milliseconds end = outage.end.value_or(outage.lastFailure + 1);
        if (end <= m_span.from || outage.start >= m_span.to)
            continue;
        const int left = xOf(outage.start, plot);
        const int right = std::max(xOf(end, plot), left + 1);
        if (left > shadedTo) {
            fill();
            shadedFrom = left;
        }
        shadedTo = std::max(shadedTo, right);
    }
    fill();
}

void RoundTripChart::drawColumns(QPainter &painter, QRect plot, double topMilliseconds) const
{
    const double pixelsPerMillisecond = (plot.height() - FailureBandHeight) / topMilliseconds;
    const int base = plot.bottom() - FailureBandHeight;
    painter.setPen(palette().color(QPalette::Highlight));
    for (std::size_t index = 0; index < m_columns.size(); ++index) {
        const history::ChartColumn &column = m_columns[index];
        const int x = plot.left() + static_cast<int>(index);
        if (column.answered > 0) {
            const auto height = [&](std::uint32_t microseconds) {
                return static_cast<int>(microseconds / MicrosecondsPerMillisecond *
                                        pixelsPerMillisecond);
            };
            painter.drawLine(x, base - height(column.minimumMicroseconds), x,
                             base - height(column.maximumMicroseconds));
        }
        if (const QColor *colour = failureColour(column))
            painter.fillRect(QRect(x, base + 1, 1, FailureBandHeight), *colour);
    }
}

void RoundTripChart::drawAxes(QPainter &painter, QRect plot, double topMilliseconds) const
{
    painter.setPen(palette().color(QPalette::Text));
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    const QRect leftLabels(0, plot.top() - TopMargin, LeftMargin - 4, plot.height() + TopMargin);
    painter.drawText(leftLabels, Qt::AlignRight | Qt::AlignTop, millisecondsLabel(topMilliseconds));
    painter.drawText(leftLabels, Qt::AlignRight | Qt::AlignBottom, millisecondsLabel(0));
    const QRect timeLabels(plot.left(), plot.bottom() + 2, plot.width(), BottomMargin - 2);
    if (m_span.to <= m_span.from)
        return;
    painter.drawText(timeLabels, Qt::AlignLeft | Qt::AlignTop, timeLabel(m_span.from, m_span));
    painter.drawText(timeLabels, Qt::AlignRight | Qt::AlignTop, timeLabel(m_span.to, m_span));
}

} // namespace history_view
