#include "echowatch/history_view/round_trip_chart.h"

#include "echowatch/history/chart_ticks.h"
#include "echowatch/history/probe_record.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace history_view {

namespace {

constexpr int Gap = 6;
constexpr int RightMargin = 12;
constexpr int FailureBandHeight = 6;
// Wide and tall enough to be seen when there are only a few answers.
constexpr int SmallestMark = 3;
// A press that moves less than this is a click, not a span to zoom into.
constexpr int SmallestDrag = 4;
// How far the pointer reaches for a probe when the column under it has
// none: across the gap a silent host's half-second probes leave on a short
// span.
constexpr std::size_t PointerReach = 24;
constexpr int MostTimeTicks = 6;
constexpr double MicrosecondsPerMillisecond = 1000.0;
constexpr history::Milliseconds MillisecondsPerDay = 86'400'000;
constexpr history::Milliseconds LongestOneTimeReading = 1'000;

// Readable on light and dark bases alike.
const QColor TimeoutColour(220, 50, 47);
const QColor UnreachableColour(230, 140, 0);
const QColor OtherFailureColour(160, 90, 220);
const QColor OutageShade(220, 50, 47, 45);
// Yellow rather than amber, so that it reads apart from an unreachable mark.
const QColor SlowShade(215, 190, 0, 60);
// Hatched, so that a flapping stretch reads apart from the outages in it.
const QColor FlappingHatch(200, 30, 90, 150);
// The yellow band along the top of a slow stretch, seen over an outage's
// shade too.
constexpr int SlowBandHeight = 4;

QString millisecondsLabel(double milliseconds, int decimals)
{
    return QString::number(milliseconds, 'f', decimals) + QStringLiteral(" ms");
}

QString clockFormat(history::ClockTicks ticks, history::TimeSpan span)
{
    if (ticks.step >= MillisecondsPerDay)
        return QStringLiteral("yyyy-MM-dd");
    if (span.to - span.from > MillisecondsPerDay)
        return QStringLiteral("MM-dd HH:mm");
    return ticks.step >= history::MillisecondsPerMinute ? QStringLiteral("HH:mm")
                                                        : QStringLiteral("HH:mm:ss");
}

QString clockText(history::Milliseconds time)
{
    return QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("HH:mm:ss"));
}

history::Milliseconds utcOffsetAt(history::Milliseconds time)
{
    return QDateTime::fromMSecsSinceEpoch(time).offsetFromUtc() * history::Milliseconds{1000};
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

QColor gridColour(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::Text);
    colour.setAlpha(40);
    return colour;
}

// Grey whatever the palette's hue: neither the answers' colour nor an
// outage's.
QColor unwatchedShade(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::Mid);
    colour.setAlpha(70);
    return colour;
}

int textHeight(const QWidget &widget)
{
    return widget.fontMetrics().height();
}

} // namespace

QString columnReading(const history::ColumnStretch &stretch, const history::ChartColumn &column)
{
    QString time = clockText(stretch.time.from);
    if (stretch.time.to - stretch.time.from > LongestOneTimeReading)
        time += QStringLiteral("–") + clockText(stretch.time.to - 1);
    QStringList parts;
    if (column.answered > 0) {
        const double shortest = column.minimumMicroseconds / MicrosecondsPerMillisecond;
        const double longest = column.maximumMicroseconds / MicrosecondsPerMillisecond;
        QString roundTrip = QString::number(shortest, 'f', 3);
        if (longest > shortest)
            roundTrip += QStringLiteral("–") + QString::number(longest, 'f', 3);
        parts += RoundTripChart::tr("%1 answered (round trip %2 ms)")
                     .arg(column.answered)
                     .arg(roundTrip);
    }
    const std::pair<std::uint32_t, QString> failures[] = {
        {column.timeouts, RoundTripChart::tr("%1 timed out")},
        {column.unreachables, RoundTripChart::tr("%1 unreachable")},
        {column.otherFailures, RoundTripChart::tr("%1 failed otherwise")},
    };
    for (const auto &[count, text] : failures) {
        if (count > 0)
            parts += text.arg(count);
    }
    if (parts.isEmpty())
        parts += RoundTripChart::tr("no probes");
    return time + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

RoundTripChart::RoundTripChart(const history::ProbeRecord &record, QWidget *parent)
    : QWidget(parent), m_record(&record)
{
    setObjectName(QStringLiteral("RoundTripChart"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setMinimumSize(320, 180);
}

void RoundTripChart::setRecord(const history::ProbeRecord &record)
{
    m_record = &record;
    update();
}

void RoundTripChart::setSpan(history::TimeSpan span)
{
    m_span = span;
    update();
}

void RoundTripChart::resetZoom()
{
    if (!m_zoom)
        return;
    m_zoom.reset();
    update();
    emit zoomChanged();
}

QSize RoundTripChart::sizeHint() const
{
    return QSize(640, 260);
}

// The legend above the plot, the time labels below it, the round-trip
// labels to its left: none of them over the probes.
QRect RoundTripChart::plotArea() const
{
    const int labelWidth = fontMetrics().horizontalAdvance(millisecondsLabel(888.888, 3));
    const int top = textHeight(*this) + 2 * Gap;
    const int bottom = textHeight(*this) + Gap;
    return rect().adjusted(labelWidth + Gap, top, -RightMargin, -bottom);
}

int RoundTripChart::xOf(history::Milliseconds time, QRect plot) const
{
    const history::TimeSpan span = shownSpan();
    const double fraction =
        static_cast<double>(time - span.from) /
        static_cast<double>(std::max<history::Milliseconds>(span.to - span.from, 1));
    return plot.left() + static_cast<int>(std::clamp(fraction, 0.0, 1.0) * plot.width());
}

void RoundTripChart::reduceColumns(QRect plot)
{
    m_columns.resize(static_cast<std::size_t>(std::max(plot.width(), 0)));
    history::reduceToColumns(*m_record, shownSpan(), m_columns);
}

void RoundTripChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect plot = plotArea();
    if (plot.width() <= 0 || plot.height() <= 2 * FailureBandHeight)
        return;
    reduceColumns(plot);
    std::uint32_t longest = 0;
    for (const history::ChartColumn &column : m_columns) {
        if (column.answered > 0)
            longest = std::max(longest, column.maximumMicroseconds);
    }
    const history::RoundTripTicks scale =
        history::roundTripTicks(longest / MicrosecondsPerMillisecond);
    drawRoundTripGrid(painter, plot, scale);
    drawTimeGrid(painter, plot);
    drawUnwatched(painter, plot);
    drawCalled(painter, plot);
    drawOutages(painter, plot);
    drawColumns(painter, plot, scale.top());
    drawAxes(painter, plot);
    drawPointer(painter, plot);
    drawLegend(painter);
    // The chart takes the focus so that a screen reader reads its
    // description on the way through; a keyboard user sees where it is.
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// Light lines at each labelled round trip, the labels left of the plot.
void RoundTripChart::drawRoundTripGrid(QPainter &painter, QRect plot,
                                       const history::RoundTripTicks &ticks) const
{
    const int base = plot.bottom() - FailureBandHeight;
    const double pixelsPerTick = (base - plot.top()) / static_cast<double>(ticks.count - 1);
    for (int tick = 0; tick < ticks.count; ++tick) {
        const int y = base - static_cast<int>(tick * pixelsPerTick + 0.5);
        painter.setPen(gridColour(palette()));
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(palette().color(QPalette::Text));
        const QRect label(0, y - textHeight(*this) / 2, plot.left() - Gap, textHeight(*this));
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
                         millisecondsLabel(tick * ticks.step, ticks.decimals));
    }
}

// Light lines at round clock times, as many as their labels leave room for,
// the labels centred under them and kept inside the chart.
void RoundTripChart::drawTimeGrid(QPainter &painter, QRect plot) const
{
    const history::TimeSpan span = shownSpan();
    const int widest = fontMetrics().horizontalAdvance(QStringLiteral("00-00 00:00"));
    const int room = std::clamp(plot.width() / (widest + 3 * Gap), 2, MostTimeTicks);
    const history::ClockTicks ticks = history::clockTicks(span, utcOffsetAt(span.from), room);
    const QString format = clockFormat(ticks, span);
    for (int tick = 0; tick < ticks.count; ++tick) {
        const history::Milliseconds time = ticks.first + tick * ticks.step;
        const int x = xOf(time, plot);
        painter.setPen(gridColour(palette()));
        painter.drawLine(x, plot.top(), x, plot.bottom());
        painter.setPen(palette().color(QPalette::Text));
        const QString label = QDateTime::fromMSecsSinceEpoch(time).toString(format);
        const int width = fontMetrics().horizontalAdvance(label);
        const int left = std::clamp(x - width / 2, 0, std::max(rect().width() - width, 0));
        painter.drawText(QRect(left, plot.bottom() + 2, width, textHeight(*this)), Qt::AlignCenter,
                         label);
    }
}

// Outages closer than a pixel share it, so a flapping host's thousands of
// outages cost as many fills as there are shaded stretches on screen.
void RoundTripChart::drawOutages(QPainter &painter, QRect plot) const
{
    const history::TimeSpan span = shownSpan();
    int shadedFrom = -1;
    int shadedTo = -1;
    const auto fill = [&] {
        if (shadedTo > shadedFrom)
            painter.fillRect(QRect(shadedFrom, plot.top(), shadedTo - shadedFrom, plot.height()),
                             OutageShade);
    };
    for (const history::Outage &outage : m_record->outages()) {
        const history::Milliseconds end = outage.end.value_or(outage.lastFailure + 1);
        if (end <= span.from || outage.start >= span.to)
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

void RoundTripChart::setUnwatched(std::vector<history::TimeSpan> unwatched)
{
    m_unwatched = std::move(unwatched);
    update();
}

// A shade of its own, hatched so that it reads apart from an outage's
// whatever the palette.
void RoundTripChart::drawUnwatched(QPainter &painter, QRect plot) const
{
    fillStretches(painter, plot, m_unwatched, unwatchedShade(palette()));
    fillStretches(painter, plot, m_unwatched, QBrush(gridColour(palette()), Qt::BDiagPattern));
}

void RoundTripChart::setCalled(std::vector<history::TimeSpan> slow,
                               std::vector<history::TimeSpan> flapping)
{
    m_slow = std::move(slow);
    m_flapping = std::move(flapping);
    update();
}

void RoundTripChart::fillStretches(QPainter &painter, QRect plot,
                                   const std::vector<history::TimeSpan> &stretches,
                                   const QBrush &brush) const
{
    const history::TimeSpan span = shownSpan();
    for (const history::TimeSpan &stretch : stretches) {
        if (stretch.to <= span.from || stretch.from >= span.to)
            continue;
        const int left = xOf(std::max(stretch.from, span.from), plot);
        const int right = std::max(xOf(std::min(stretch.to, span.to), plot), left + 1);
        painter.fillRect(QRect(left, plot.top(), right - left, plot.height()), brush);
    }
}

// Slow: a yellow shade with a band along the top; flapping: hatched, the
// other way from the time not watched.
void RoundTripChart::drawCalled(QPainter &painter, QRect plot) const
{
    fillStretches(painter, plot, m_slow, SlowShade);
    fillStretches(painter, QRect(plot.left(), plot.top(), plot.width(), SlowBandHeight), m_slow,
                  QColor(SlowShade.rgb()));
    fillStretches(painter, plot, m_flapping, QBrush(FlappingHatch, Qt::FDiagPattern));
}

// Each column at least SmallestMark pixels each way, so that a few answers
// over a long span still show.
void RoundTripChart::drawColumns(QPainter &painter, QRect plot, double topMilliseconds) const
{
    const double pixelsPerMillisecond = (plot.height() - FailureBandHeight) / topMilliseconds;
    const int base = plot.bottom() - FailureBandHeight;
    const QColor answered = palette().color(QPalette::Highlight);
    const auto height = [&](std::uint32_t microseconds) {
        return static_cast<int>(microseconds / MicrosecondsPerMillisecond * pixelsPerMillisecond);
    };
    for (std::size_t index = 0; index < m_columns.size(); ++index) {
        const history::ChartColumn &column = m_columns[index];
        const int x =
            std::min(plot.left() + static_cast<int>(index), plot.right() + 1 - SmallestMark);
        if (column.answered > 0) {
            const int low = std::min(base - height(column.minimumMicroseconds), base);
            const int high =
                std::min(base - height(column.maximumMicroseconds), low + 1 - SmallestMark);
            painter.fillRect(QRect(QPoint(x, high), QPoint(x + SmallestMark - 1, low)), answered);
        }
        if (const QColor *colour = failureColour(column))
            painter.fillRect(QRect(x, base + 1, SmallestMark, FailureBandHeight), *colour);
    }
}

void RoundTripChart::drawAxes(QPainter &painter, QRect plot) const
{
    painter.setPen(palette().color(QPalette::Text));
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
}

// The column read out, and the stretch being dragged across.
void RoundTripChart::drawPointer(QPainter &painter, QRect plot) const
{
    QColor highlight = palette().color(QPalette::Highlight);
    if (m_dragStart && m_pointer) {
        const int left = std::min(*m_dragStart, *m_pointer);
        const int right = std::max(*m_dragStart, *m_pointer);
        highlight.setAlpha(60);
        painter.fillRect(QRect(left, plot.top(), right - left + 1, plot.height()), highlight);
    } else if (m_pointer) {
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawLine(*m_pointer, plot.top(), *m_pointer, plot.bottom());
    }
}

// In the row above the plot, right-aligned: one swatch and word per colour;
// slow and flapping only where the host was.
void RoundTripChart::drawLegend(QPainter &painter) const
{
    std::vector<std::pair<QBrush, QString>> entries = {
        {palette().color(QPalette::Highlight), tr("answered")},
        {TimeoutColour, tr("timeout")},
        {UnreachableColour, tr("unreachable")},
        {OtherFailureColour, tr("other failure")},
        {OutageShade, tr("outage")},
    };
    if (!m_slow.empty())
        entries.emplace_back(QColor(SlowShade.rgb()), tr("slow"));
    if (!m_flapping.empty())
        entries.emplace_back(QBrush(FlappingHatch, Qt::FDiagPattern), tr("flapping"));
    entries.emplace_back(unwatchedShade(palette()), tr("not watched"));
    const QFontMetrics metrics = fontMetrics();
    const int swatch = metrics.ascent() - 2;
    int right = rect().right() - RightMargin;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const int textWidth = metrics.horizontalAdvance(entry->second);
        const int left = right - swatch - 4 - textWidth;
        painter.fillRect(QRect(left, Gap + 2, swatch, swatch), entry->first);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPoint(left + swatch + 4, Gap + 1 + metrics.ascent()), entry->second);
        right = left - 12;
    }
}

void RoundTripChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !plotArea().contains(event->position().toPoint()))
        return QWidget::mousePressEvent(event);
    m_dragStart = event->position().toPoint().x();
    m_pointer = m_dragStart;
    update();
}

void RoundTripChart::mouseMoveEvent(QMouseEvent *event)
{
    readColumnAt(event->position().toPoint().x());
}

// A drag wide enough zooms into the columns it crossed.
void RoundTripChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragStart || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const QRect plot = plotArea();
    const int from = std::min(*m_dragStart, event->position().toPoint().x());
    const int to = std::max(*m_dragStart, event->position().toPoint().x());
    m_dragStart.reset();
    update();
    const int last = plot.width() - 1;
    const auto firstColumn = history::columnAt(std::clamp(from - plot.left(), 0, last), shownSpan(),
                                               static_cast<std::size_t>(plot.width()));
    const auto lastColumn = history::columnAt(std::clamp(to - plot.left(), 0, last), shownSpan(),
                                              static_cast<std::size_t>(plot.width()));
    if (to - from < SmallestDrag || !firstColumn || !lastColumn)
        return;
    m_zoom = history::TimeSpan{firstColumn->time.from,
                               std::max(lastColumn->time.to, firstColumn->time.from + 1)};
    emit zoomChanged();
}

void RoundTripChart::leaveEvent(QEvent *event)
{
    m_pointer.reset();
    update();
    emit reading(QString());
    QWidget::leaveEvent(event);
}

// Left and Right step to the previous or next column holding probes, so
// that the chart reads out from the keyboard as under the pointer.
void RoundTripChart::keyPressEvent(QKeyEvent *event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0 || event->modifiers() != Qt::NoModifier)
        return QWidget::keyPressEvent(event);
    const QRect plot = plotArea();
    if (m_columns.size() != static_cast<std::size_t>(std::max(plot.width(), 0)))
        reduceColumns(plot);
    const auto count = static_cast<int>(m_columns.size());
    int index = m_pointer ? *m_pointer - plot.left() - SmallestMark / 2 : (step > 0 ? -1 : count);
    for (index += step; index >= 0 && index < count; index += step) {
        if (m_columns[static_cast<std::size_t>(index)].probes() > 0)
            return readColumnAt(plot.left() + index);
    }
}

// The pointer is over a column, or beside one with probes: that column is
// marked and what it holds read out.
void RoundTripChart::readColumnAt(int x)
{
    const QRect plot = plotArea();
    if (m_columns.size() != static_cast<std::size_t>(std::max(plot.width(), 0)))
        reduceColumns(plot);
    auto stretch = history::columnAt(x - plot.left(), shownSpan(), m_columns.size());
    if (stretch && !m_dragStart) {
        const std::size_t nearest =
            history::nearestWithProbes(m_columns, stretch->index, PointerReach);
        stretch = history::columnAt(static_cast<int>(nearest), shownSpan(), m_columns.size());
    }
    if (stretch)
        m_pointer =
            m_dragStart ? x : plot.left() + static_cast<int>(stretch->index) + SmallestMark / 2;
    else if (!m_dragStart)
        m_pointer.reset();
    update();
    emit reading(stretch ? columnReading(*stretch, m_columns[stretch->index]) : QString());
}

} // namespace history_view
