#pragma once

#include "echowatch/history/column_reduction.h"

#include <QWidget>

#include <optional>
#include <vector>

namespace history {
struct RoundTripTicks;
} // namespace history

namespace history_view {

struct ShownSpan;

// Round trips over a span, one pixel column at a time, as the window
// reduced them: a column of a few answers as a bar from the shortest to
// the longest, one of many as a band (the middle 80% shaded, the median a
// line, the extremes faint); a mark along the time axis where probes
// failed (one colour per kind, taller the larger their share); the time
// the host was down shaded, the stretches the host monitor called slow
// shaded yellow and those it called flapping hatched red, and the time
// nobody watched it hatched (neither up nor down), under a grid of round numbers and clock times.
// Pointing at a column, or stepping to it with Left and Right, reads it
// out; dragging across the chart asks to zoom into that stretch until
// resetZoom(). Follows the window's palette.
class RoundTripChart final : public QWidget
{
    Q_OBJECT

public:
    explicit RoundTripChart(QWidget *parent = nullptr);

    // What to draw from now on; it must outlive the chart or the next call.
    void setShown(const ShownSpan &shown);
    // One per pixel of the plot's width.
    std::size_t columnCount() const;
    // The stretch a drag asked for, until resetZoom().
    std::optional<history::TimeSpan> zoom() const noexcept { return m_zoom; }
    // When the host was slow, and flapping, oldest first; the legend names
    // them only where some are within the span shown.
    void setCalled(std::vector<history::TimeSpan> slow, std::vector<history::TimeSpan> flapping);
    bool isZoomed() const noexcept { return m_zoom.has_value(); }
    void resetZoom();
    // The span drawn.
    history::TimeSpan shownSpan() const noexcept;
    const std::vector<history::ChartColumn> &columns() const noexcept;

    QSize sizeHint() const override;

signals:
    // What the column under the pointer holds; empty when it left the plot.
    void reading(const QString &text);
    void zoomChanged();
    // The plot's width changed, and with it the columns it has room for.
    void columnCountChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRect plotArea() const;
    int xOfColumn(std::size_t index, QRect plot) const;
    std::optional<std::size_t> columnUnder(int x, QRect plot) const;
    int xOf(history::Milliseconds time, QRect plot) const;
    void drawRoundTripGrid(QPainter &painter, QRect plot,
                           const history::RoundTripTicks &ticks) const;
    void drawTimeGrid(QPainter &painter, QRect plot) const;
    void drawOutages(QPainter &painter, QRect plot) const;
    void drawUnwatched(QPainter &painter, QRect plot) const;
    void drawCalled(QPainter &painter, QRect plot) const;
    void fillStretches(QPainter &painter, QRect plot,
                       const std::vector<history::TimeSpan> &stretches,
                       const QBrush &brush) const;
    void drawColumns(QPainter &painter, QRect plot, double topMilliseconds) const;
    void drawMedians(QPainter &painter, QRect plot, double topMilliseconds) const;
    void drawFailures(QPainter &painter, QRect plot) const;
    void drawAxes(QPainter &painter, QRect plot) const;
    void drawPointer(QPainter &painter, QRect plot) const;
    void drawLegend(QPainter &painter) const;
    void readColumnAt(int x);
    void readColumn(std::size_t index, QRect plot);

    const ShownSpan *m_shown = nullptr;
    std::vector<history::TimeSpan> m_slow;
    std::vector<history::TimeSpan> m_flapping;
    std::optional<history::TimeSpan> m_zoom;
    std::optional<int> m_pointer;
    std::optional<std::size_t> m_pointed;
    std::optional<int> m_dragStart;
    std::size_t m_columnCount = 0;
};

// "13:04:05: 3 answered (round trip 0.030–0.070 ms), 1 timed out": the
// time a column stands for and what its probes did, as the chart reads it
// out under the pointer; a column of many answers also says where the
// middle 80% of them and the median lay.
QString columnReading(const history::ColumnStretch &stretch, const history::ChartColumn &column);

} // namespace history_view
