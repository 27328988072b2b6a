#include "echowatch/history_view/round_trip_chart.h"

#include "echowatch/history/chart_ticks.h"
#include "echowatch/history_view/shown_span.h"

#include <QDateTime>
#include <QImage>
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
// A column this long or longer is read with its date.
constexpr history::Milliseconds ShortestDatedReading = history::MillisecondsPerMinute;
// The failure mark's height by the failures' share of the column's probes.
constexpr double LargeFailureShare = 0.1;
constexpr double SmallFailureShare = 0.01;

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
// A column with any time down is shaded at least this much, however
// little of it that was.
constexpr int FaintestOutageAlpha = 12;

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

QString clockText(history::Milliseconds time, bool dated)
{
    return QDateTime::fromMSecsSinceEpoch(time).toString(
        dated ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss"));
}

// The span's time, or the stretch of it, a column stands for.
QString stretchText(history::TimeSpan time)
{
    const bool dated = time.to - time.from >= ShortestDatedReading;
    QString text = clockText(time.from, dated);
    if (time.to - time.from > LongestOneTimeReading) {
        const bool sameDay = QDateTime::fromMSecsSinceEpoch(time.from).date() ==
                             QDateTime::fromMSecsSinceEpoch(time.to - 1).date();
        text += QStringLiteral("–") + clockText(time.to - 1, dated && !sameDay);
    }
    return text;
}

QString millisecondsText(std::uint32_t microseconds)
{
    return QString::number(microseconds / MicrosecondsPerMillisecond, 'f', 3);
}

QString roundTripText(const history::ChartColumn &column)
{
    QString text = millisecondsText(column.minimumMicroseconds);
    if (column.maximumMicroseconds > column.minimumMicroseconds)
        text += QStringLiteral("–") + millisecondsText(column.maximumMicroseconds);
    if (!column.drawnAsBand())
        return RoundTripChart::tr("round trip %1 ms").arg(text);
    return RoundTripChart::tr("round trip %1 ms, median %2 ms, middle 80% %3–%4 ms")
        .arg(text, millisecondsText(column.band->median), millisecondsText(column.band->p10),
             millisecondsText(column.band->p90));
}

// 2 pixels for a few failures among many probes, up to the whole band when
// most failed.
int failureMarkHeight(const history::ChartColumn &column)
{
    const double share = static_cast<double>(column.failures()) / column.probes();
    if (share >= LargeFailureShare)
        return FailureBandHeight;
    return share >= SmallFailureShare ? FailureBandHeight * 2 / 3 : FailureBandHeight / 3;
}

// Where a column's answers reach on the scale: a band's top is its
// ninetieth, so that a rare long answer does not flatten the year.
std::uint32_t scaleTopOf(const history::ChartColumn &column)
{
    return column.drawnAsBand() ? column.band->p90 : column.maximumMicroseconds;
}

const ShownSpan &nothingShown()
{
    static const ShownSpan none;
    return none;
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

constexpr int ExtremesAlpha = 60;
constexpr int BandAlpha = 120;

QColor withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

// Premultiplied, as the image holds them.
QRgb premultipliedOver(QRgb top, QRgb bottom)
{
    const int inverse = 255 - qAlpha(top);
    const auto part = [&](int upper, int lower) { return upper + lower * inverse / 255; };
    return qRgba(part(qRed(top), qRed(bottom)), part(qGreen(top), qGreen(bottom)),
                 part(qBlue(top), qBlue(bottom)), part(qAlpha(top), qAlpha(bottom)));
}

// Columns of the plot written into an image of it and drawn over it in one
// go: filled one by one, a thousand translucent columns a pixel wide cost
// the raster engine a blend for every row of each, which was most of the
// chart's paint.
class ColumnImage
{
public:
    // From the top pixel row down to the bottom one, both drawn.
    struct Rows
    {
        int top;
        int bottom;
    };

    explicit ColumnImage(QRect plot)
        : m_plot(plot), m_image(plot.size(), QImage::Format_ARGB32_Premultiplied)
    {
        m_image.fill(Qt::transparent);
    }

    // Replaces what the pixels held: a colour over another is given as one.
    void fill(int x, int width, Rows rows, QRgb premultiplied)
    {
        const int left = std::max(x - m_plot.left(), 0);
        const int right = std::max(std::min(x - m_plot.left() + width, m_image.width()), left);
        const int top = std::max(rows.top - m_plot.top(), 0);
        const int bottom = std::min(rows.bottom - m_plot.top(), m_image.height() - 1);
        for (int y = top; y <= bottom; ++y) {
            auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(y));
            std::fill(line + left, line + right, premultiplied);
        }
    }
    void draw(QPainter &painter) const { painter.drawImage(m_plot.topLeft(), m_image); }

private:
    QRect m_plot;
    QImage m_image;
};

int textHeight(const QWidget &widget)
{
    return widget.fontMetrics().height();
}

bool overlaps(history::TimeSpan stretch, history::TimeSpan span) noexcept
{
    return stretch.to > span.from && stretch.from < span.to;
}

// Earlier runs' stretches are kept whatever the span shown.
bool anyWithin(const std::vector<history::TimeSpan> &stretches, history::TimeSpan span)
{
    return std::any_of(stretches.begin(), stretches.end(),
                       [span](history::TimeSpan stretch) { return overlaps(stretch, span); });
}

} // namespace

QString columnReading(const history::ColumnStretch &stretch, const history::ChartColumn &column)
{
    QStringList parts;
    if (column.answered > 0)
        parts += RoundTripChart::tr("%1 answered (%2)").arg(column.answered).arg(roundTripText(column));
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
    return stretchText(stretch.time) + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

RoundTripChart::RoundTripChart(QWidget *parent) : QWidget(parent), m_shown(&nothingShown())
{
    setObjectName(QStringLiteral("RoundTripChart"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setMinimumSize(320, 180);
}

void RoundTripChart::setShown(const ShownSpan &shown)
{
    m_shown = &shown;
    if (m_pointed && *m_pointed >= shown.columns.size())
        m_pointed.reset();
    update();
}

history::TimeSpan RoundTripChart::shownSpan() const noexcept
{
    return m_shown->grid.span;
}

const std::vector<history::ChartColumn> &RoundTripChart::columns() const noexcept
{
    return m_shown->columns;
}

std::size_t RoundTripChart::columnCount() const
{
    return static_cast<std::size_t>(std::max(plotArea().width(), 1));
}

void RoundTripChart::resetZoom()
{
    if (!m_zoom)
        return;
    m_zoom.reset();
    emit zoomChanged();
}

QSize RoundTripChart::sizeHint() const
{
    return QSize(640, 260);
}

void RoundTripChart::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (columnCount() != m_columnCount) {
        m_columnCount = columnCount();
        emit columnCountChanged();
    }
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

// One pixel a column while the plot and the columns agree; spread or
// squeezed across it until the window gives it as many as it has room for.
int RoundTripChart::xOfColumn(std::size_t index, QRect plot) const
{
    const std::size_t count = std::max<std::size_t>(m_shown->columns.size(), 1);
    return plot.left() + static_cast<int>(index * static_cast<std::size_t>(plot.width()) / count);
}

std::optional<std::size_t> RoundTripChart::columnUnder(int x, QRect plot) const
{
    const std::size_t count = m_shown->columns.size();
    if (x < plot.left() || x >= plot.left() + plot.width() || count == 0)
        return std::nullopt;
    return static_cast<std::size_t>(x - plot.left()) * count /
           static_cast<std::size_t>(plot.width());
}

int RoundTripChart::xOf(history::Milliseconds time, QRect plot) const
{
    const history::TimeSpan span = shownSpan();
    const double fraction =
        static_cast<double>(time - span.from) /
        static_cast<double>(std::max<history::Milliseconds>(span.to - span.from, 1));
    return plot.left() + static_cast<int>(std::clamp(fraction, 0.0, 1.0) * plot.width());
}

void RoundTripChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect plot = plotArea();
    if (plot.width() <= 0 || plot.height() <= 2 * FailureBandHeight)
        return;
    std::uint32_t longest = 0;
    for (const history::ChartColumn &column : m_shown->columns) {
        if (column.answered > 0)
            longest = std::max(longest, scaleTopOf(column));
    }
    const history::RoundTripTicks scale =
        history::roundTripTicks(longest / MicrosecondsPerMillisecond);
    drawRoundTripGrid(painter, plot, scale);
    drawTimeGrid(painter, plot);
    drawUnwatched(painter, plot);
    drawCalled(painter, plot);
    drawOutages(painter, plot);
    painter.save();
    painter.setClipRect(plot.adjusted(0, 0, 1, -FailureBandHeight));
    drawColumns(painter, plot, scale.top());
    drawMedians(painter, plot, scale.top());
    painter.restore();
    drawFailures(painter, plot);
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

// Each column as dark as the share of its time the host was down, and
// never so faint that a short outage in a long column is lost.
void RoundTripChart::drawOutages(QPainter &painter, QRect plot) const
{
    const std::vector<float> &shares = m_shown->downShares;
    ColumnImage shades(plot);
    for (std::size_t index = 0; index < shares.size(); ++index) {
        if (shares[index] <= 0)
            continue;
        const int left = xOfColumn(index, plot);
        const int right = std::max(xOfColumn(index + 1, plot), left + 1);
        const int alpha = std::max(
            FaintestOutageAlpha,
            static_cast<int>(OutageShade.alpha() * std::min(shares[index], 1.0F)));
        shades.fill(left, right - left, {plot.top(), plot.bottom()},
                    qPremultiply(withAlpha(OutageShade, alpha).rgba()));
    }
    shades.draw(painter);
}

// A shade of its own, hatched so that it reads apart from an outage's
// whatever the palette.
void RoundTripChart::drawUnwatched(QPainter &painter, QRect plot) const
{
    fillStretches(painter, plot, m_shown->unwatched, unwatchedShade(palette()));
    fillStretches(painter, plot, m_shown->unwatched,
                  QBrush(gridColour(palette()), Qt::BDiagPattern));
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
        if (!overlaps(stretch, span))
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

// A column of a few answers from its shortest to its longest, at least
// SmallestMark pixels each way so that a few over a long span still show;
// one of many as its middle 80% over its extremes drawn faint.
void RoundTripChart::drawColumns(QPainter &painter, QRect plot, double topMilliseconds) const
{
    const double pixelsPerMillisecond = (plot.height() - FailureBandHeight) / topMilliseconds;
    const int base = plot.bottom() - FailureBandHeight;
    const QColor answered = palette().color(QPalette::Highlight);
    const auto yOf = [&](std::uint32_t microseconds) {
        return base - static_cast<int>(microseconds / MicrosecondsPerMillisecond *
                                       pixelsPerMillisecond);
    };
    const QRgb extremes = qPremultiply(withAlpha(answered, ExtremesAlpha).rgba());
    const QRgb band =
        premultipliedOver(qPremultiply(withAlpha(answered, BandAlpha).rgba()), extremes);
    ColumnImage bands(plot);
    for (std::size_t index = 0; index < m_shown->columns.size(); ++index) {
        const history::ChartColumn &column = m_shown->columns[index];
        if (column.answered == 0)
            continue;
        const int x = xOfColumn(index, plot);
        const int low = std::min(yOf(column.minimumMicroseconds), base);
        if (!column.drawnAsBand()) {
            const int left = std::min(x, plot.right() + 1 - SmallestMark);
            const int high = std::min(yOf(column.maximumMicroseconds), low + 1 - SmallestMark);
            painter.fillRect(QRect(QPoint(left, high), QPoint(left + SmallestMark - 1, low)),
                             answered);
            continue;
        }
        const int width = std::max(xOfColumn(index + 1, plot) - x, 1);
        bands.fill(x, width, {yOf(column.maximumMicroseconds), low}, extremes);
        bands.fill(x, width, {yOf(column.band->p90), yOf(column.band->p10)}, band);
    }
    bands.draw(painter);
}

// A line through the medians of neighbouring bands, broken where a column
// has none.
void RoundTripChart::drawMedians(QPainter &painter, QRect plot, double topMilliseconds) const
{
    const double pixelsPerMillisecond = (plot.height() - FailureBandHeight) / topMilliseconds;
    const int base = plot.bottom() - FailureBandHeight;
    painter.setPen(QPen(palette().color(QPalette::Highlight).darker(150), 2));
    QPolygonF line;
    const auto flush = [&] {
        if (line.size() == 1)
            painter.drawPoint(line.front());
        else if (line.size() > 1)
            painter.drawPolyline(line);
        line.clear();
    };
    for (std::size_t index = 0; index < m_shown->columns.size(); ++index) {
        const history::ChartColumn &column = m_shown->columns[index];
        if (!column.drawnAsBand()) {
            flush();
            continue;
        }
        const double x = (xOfColumn(index, plot) + xOfColumn(index + 1, plot)) / 2.0;
        line << QPointF(x, base - column.band->median / MicrosecondsPerMillisecond *
                                      pixelsPerMillisecond);
    }
    flush();
}

void RoundTripChart::drawFailures(QPainter &painter, QRect plot) const
{
    const int base = plot.bottom() - FailureBandHeight;
    for (std::size_t index = 0; index < m_shown->columns.size(); ++index) {
        const history::ChartColumn &column = m_shown->columns[index];
        const QColor *colour = failureColour(column);
        if (!colour)
            continue;
        const int x = std::min(xOfColumn(index, plot), plot.right() + 1 - SmallestMark);
        const int height = failureMarkHeight(column);
        painter.fillRect(QRect(x, base + 1 + FailureBandHeight - height, SmallestMark, height),
                         *colour);
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
    const QColor answered = palette().color(QPalette::Highlight);
    std::vector<std::pair<QBrush, QString>> entries;
    const bool bands = std::any_of(m_shown->columns.begin(), m_shown->columns.end(),
                                   [](const history::ChartColumn &c) { return c.drawnAsBand(); });
    if (bands) {
        entries.emplace_back(answered.darker(150), tr("median"));
        entries.emplace_back(withAlpha(answered, BandAlpha), tr("middle 80%"));
    } else {
        entries.emplace_back(answered, tr("answered"));
    }
    entries.emplace_back(TimeoutColour, tr("timeout"));
    entries.emplace_back(UnreachableColour, tr("unreachable"));
    entries.emplace_back(OtherFailureColour, tr("other failure"));
    entries.emplace_back(OutageShade, tr("outage"));
    if (anyWithin(m_slow, shownSpan()))
        entries.emplace_back(QColor(SlowShade.rgb()), tr("slow"));
    if (anyWithin(m_flapping, shownSpan()))
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

// A drag wide enough asks to zoom into the columns it crossed.
void RoundTripChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragStart || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const QRect plot = plotArea();
    const int from = std::min(*m_dragStart, event->position().toPoint().x());
    const int to = std::max(*m_dragStart, event->position().toPoint().x());
    m_dragStart.reset();
    update();
    const int last = plot.left() + plot.width() - 1;
    const auto first = columnUnder(std::clamp(from, plot.left(), last), plot);
    const auto final = columnUnder(std::clamp(to, plot.left(), last), plot);
    if (to - from < SmallestDrag || !first || !final)
        return;
    const history::ChartGrid &grid = m_shown->grid;
    m_zoom = history::TimeSpan{grid.columnStart(*first), grid.columnStart(*final + 1)};
    emit zoomChanged();
}

void RoundTripChart::leaveEvent(QEvent *event)
{
    m_pointer.reset();
    m_pointed.reset();
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
    const auto count = static_cast<std::ptrdiff_t>(m_shown->columns.size());
    std::ptrdiff_t index =
        m_pointed ? static_cast<std::ptrdiff_t>(*m_pointed) : (step > 0 ? -1 : count);
    for (index += step; index >= 0 && index < count; index += step) {
        if (m_shown->columns[static_cast<std::size_t>(index)].probes() > 0)
            return readColumn(static_cast<std::size_t>(index), plotArea());
    }
}

// The pointer is over a column, or beside one with probes: that column is
// marked and what it holds read out.
void RoundTripChart::readColumnAt(int x)
{
    const QRect plot = plotArea();
    const std::optional<std::size_t> under = columnUnder(x, plot);
    if (m_dragStart) {
        m_pointer = x;
        update();
        if (!under)
            emit reading(QString());
        else
            emit reading(columnReading(*history::columnAt(static_cast<int>(*under), shownSpan(),
                                                           m_shown->columns.size()),
                                       m_shown->columns[*under]));
        return;
    }
    if (!under) {
        m_pointer.reset();
        m_pointed.reset();
        update();
        emit reading(QString());
        return;
    }
    readColumn(history::nearestWithProbes(m_shown->columns, *under, PointerReach), plot);
}

void RoundTripChart::readColumn(std::size_t index, QRect plot)
{
    m_pointed = index;
    m_pointer = xOfColumn(index, plot) + SmallestMark / 2;
    update();
    const auto stretch =
        history::columnAt(static_cast<int>(index), shownSpan(), m_shown->columns.size());
    emit reading(stretch ? columnReading(*stretch, m_shown->columns[index]) : QString());
}

} // namespace history_view
