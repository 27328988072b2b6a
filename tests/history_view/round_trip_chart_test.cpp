// The chart's pixels: a column of many answers reads, top to bottom, as its
// faint extremes, its middle 80%, the median line and back, and the time
// the host was down is shaded in its columns alone, whatever the columns
// are drawn with.
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/history_view/shown_span.h"

#include <QImage>
#include <QtTest>

#include <utility>
#include <vector>

namespace {

constexpr history::Milliseconds Start = 1'800'000'000'000;

history::ChartColumn bandColumn()
{
    history::ChartColumn column;
    column.answered = 100;
    column.minimumMicroseconds = 100;
    column.maximumMicroseconds = 1000;
    column.band = history::RoundTripBand{300, 500, 700};
    return column;
}

// The bluish colours down one pixel column, each run of equal pixels at
// least two tall once: the one-pixel lines of the grid that cross the
// answers are left out.
std::vector<QRgb> answersDown(const QImage &image, int x)
{
    std::vector<std::pair<QRgb, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb pixel = image.pixel(x, y);
        if (!runs.empty() && runs.back().first == pixel)
            ++runs.back().second;
        else
            runs.emplace_back(pixel, 1);
    }
    std::vector<QRgb> colours;
    for (const auto &[colour, height] : runs) {
        const bool bluish = qBlue(colour) > qGreen(colour) + 10;
        if (bluish && height >= 2 && (colours.empty() || colours.back() != colour))
            colours.push_back(colour);
    }
    return colours;
}

} // namespace

class RoundTripChartTest : public QObject
{
    Q_OBJECT

private slots:
    void drawsBandsAndTheDownTime()
    {
        history_view::RoundTripChart chart;
        chart.resize(500, 300);
        QPalette palette = chart.palette();
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::Highlight, QColor(40, 80, 200));
        chart.setPalette(palette);
        const std::size_t count = chart.columnCount();
        history_view::ShownSpan shown;
        shown.grid = history::ChartGrid{{Start, Start + static_cast<history::Milliseconds>(count) * 1000},
                                        count, 1000};
        shown.columns.assign(count, bandColumn());
        // Down in the second half only.
        shown.downShares.assign(count, 0.0F);
        std::fill(shown.downShares.begin() + static_cast<std::ptrdiff_t>(count / 2),
                  shown.downShares.end(), 1.0F);
        chart.setShown(shown);
        QImage image(chart.size(), QImage::Format_ARGB32);
        chart.render(&image);

        for (const int x : {chart.width() / 3, chart.width() * 3 / 4}) {
            // Extremes, band, median, band, extremes; each darker than
            // the one around it.
            const std::vector<QRgb> down = answersDown(image, x);
            QCOMPARE(down.size(), std::size_t{5});
            QCOMPARE(down[0], down[4]);
            QCOMPARE(down[1], down[3]);
            QVERIFY(qGray(down[2]) < qGray(down[1]));
            QVERIFY(qGray(down[1]) < qGray(down[0]));
        }
        // Between the answers and the time axis: white where the host was
        // up, shaded red at the same height where it was down.
        const int upX = chart.width() / 3;
        const int downX = chart.width() * 3 / 4;
        int below = chart.height() - 1;
        while (below > 0 && qBlue(image.pixel(upX, below)) <= qGreen(image.pixel(upX, below)) + 10)
            --below;
        int checked = 0;
        for (int y = below + 1; image.pixel(upX, y) == QColor(Qt::white).rgb(); ++y) {
            const QRgb shaded = image.pixel(downX, y);
            QVERIFY2(qRed(shaded) > qBlue(shaded) + 10, qPrintable(QColor(shaded).name()));
            ++checked;
        }
        QVERIFY(checked > 0);
    }
};

QTEST_MAIN(RoundTripChartTest)
#include "round_trip_chart_test.moc"
