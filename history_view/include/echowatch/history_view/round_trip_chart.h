#pragma once

#include "echowatch/history/column_reduction.h"

#include <QWidget>

#include <optional>
#include <vector>

namespace history {
class ProbeRecord;
struct RoundTripTicks;
} // namespace history

namespace history_view {

// Round trips over a span of the run, drawn from the record one pixel
// column at a time: a bar from the shortest to the longest answer of the
// column, a mark along the time axis where probes failed (one colour per
// kind), the outages shaded, the stretches the host monitor called slow
// shaded yellow and those it called flapping hatched red, and time nobody
// watched the host hatched grey (neither up nor down), under a grid of
// round numbers and clock times. Pointing at a column, or stepping to it
// with Left and Right, reads it out; dragging across the chart zooms into
// that stretch until resetZoom(). Follows the window's palette.
class RoundTripChart final : public QWidget
{
    Q_OBJECT

public:
    explicit RoundTripChart(const history::ProbeRecord &record, QWidget *parent = nullptr);

    // The record to draw from now on; it must outlive the chart or the
    // next call.
    void setRecord(const history::ProbeRecord &record);
    void setSpan(history::TimeSpan span);
    // When nobody watched the host, oldest first.
    void setUnwatched(std::vector<history::TimeSpan> unwatched);
    // When the host was slow, and flapping, oldest first; the legend names
    // them only where there are some.
    void setCalled(std::vector<history::TimeSpan> slow, std::vector<history::TimeSpan> flapping);
    // The span drawn: the zoomed stretch, or the one set.
    history::TimeSpan shownSpan() const noexcept { return m_zoom.value_or(m_span); }
    bool isZoomed() const noexcept { return m_zoom.has_value(); }
    void resetZoom();

    QSize sizeHint() const override;

signals:
    // What the column under the pointer holds; empty when it left the plot.
    void reading(const QString &text);
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRect plotArea() const;
    void reduceColumns(QRect plot);
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
    void drawAxes(QPainter &painter, QRect plot) const;
    void drawPointer(QPainter &painter, QRect plot) const;
    void drawLegend(QPainter &painter) const;
    void readColumnAt(int x);

    const history::ProbeRecord *m_record;
    history::TimeSpan m_span;
    std::vector<history::TimeSpan> m_unwatched;
    std::vector<history::TimeSpan> m_slow;
    std::vector<history::TimeSpan> m_flapping;
    std::optional<history::TimeSpan> m_zoom;
    std::vector<history::ChartColumn> m_columns;
    std::optional<int> m_pointer;
    std::optional<int> m_dragStart;
};

// "13:04:05: 3 answered (round trip 0.030–0.070 ms), 1 timed out": the
// time a column stands for and what its probes did, as the chart reads it
// out under the pointer.
QString columnReading(const history::ColumnStretch &stretch, const history::ChartColumn &column);

} // namespace history_view
