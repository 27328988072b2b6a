#pragma once

#include "echowatch/history/column_reduction.h"

#include <QWidget>

#include <vector>

namespace history {
class ProbeRecord;
} // namespace history

namespace history_view {

// Round trips over a span of the run, drawn from the record one pixel
// column at a time: a bar from the shortest to the longest answer of the
// column, a mark along the time axis where probes failed (one colour per
// kind), and the outages shaded. Follows the window's palette.
class RoundTripChart final : public QWidget
{
    Q_OBJECT

public:
    explicit RoundTripChart(const history::ProbeRecord &record, QWidget *parent = nullptr);

    void setSpan(history::TimeSpan span);
    history::TimeSpan span() const noexcept { return m_span; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect plotArea() const;
    double scaleTop() const;
    void drawAxes(QPainter &painter, QRect plot, double topMilliseconds) const;
    void drawOutages(QPainter &painter, QRect plot) const;
    void drawColumns(QPainter &painter, QRect plot, double topMilliseconds) const;
    void drawLegend(QPainter &painter, QRect plot) const;
    int xOf(history::Milliseconds time, QRect plot) const;

    const history::ProbeRecord &m_record;
    history::TimeSpan m_span;
    std::vector<history::ChartColumn> m_columns;
};

} // namespace history_view
