#include "echowatch/alerts/icon_mark.h"

#include "echowatch/host/host_event_signals.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QIconEngine>
#include <QMenu>
#include <QPainter>

#include <memory>

namespace alerts {

namespace {

// Nearly half the icon wide, and never under 6 pixels, so that it still
// reads in a 16-pixel taskbar.
constexpr double MarkShare = 0.45;
constexpr int SmallestMark = 6;

void paintMark(QPainter &painter, const QRect &iconRect, ProbeMark mark)
{
    const int side = std::max(SmallestMark, static_cast<int>(iconRect.width() * MarkShare));
    const QRectF disc(iconRect.right() + 1 - side, iconRect.bottom() + 1 - side, side, side);
    const bool answered = mark == ProbeMark::Answered;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, std::max(1.0, side / 10.0)));
    painter.setBrush(answered ? QColor(0x1e, 0x8e, 0x3e) : QColor(0xc5, 0x22, 0x1f));
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    // Shapes as well as colours: a tick for answered, a bar for failing.
    painter.setPen(QPen(Qt::white, std::max(1.5, side / 6.0), Qt::SolidLine, Qt::RoundCap));
    const QPointF centre = disc.center();
    const double unit = side / 4.0;
    if (answered) {
        painter.drawPolyline(
            QPolygonF({centre + QPointF(-unit, 0), centre + QPointF(-unit / 3, unit * 0.7),
                       centre + QPointF(unit, -unit * 0.7)}));
    } else {
        painter.drawLine(centre + QPointF(-unit, 0), centre + QPointF(unit, 0));
    }
    painter.restore();
}

class MarkedIconEngine final : public QIconEngine
{
public:
    MarkedIconEngine(QIcon icon, ProbeMark mark) : m_icon(std::move(icon)), m_mark(mark) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_icon.paint(painter, rect, Qt::AlignCenter, mode, state);
        paintMark(*painter, rect, m_mark);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_icon.availableSizes(mode, state);
    }
    QIconEngine *clone() const override { return new MarkedIconEngine(m_icon, m_mark); }

private:
    QIcon m_icon;
    ProbeMark m_mark;
};

} // namespace

QIcon markedIcon(const QIcon &icon, ProbeMark mark)
{
    if (mark == ProbeMark::Stopped)
        return icon;
    return QIcon(new MarkedIconEngine(icon, mark));
}

IconMark::IconMark(Form1 &window, const host::HostEventSignals &events)
    : QObject(&window), m_window(window),
      m_action(new QAction(tr("Show the latest outcome in the window's icon"), this)),
      m_plainIcon(window.windowIcon())
{
    m_action->setCheckable(true);
    window.addContextAction(window::MenuSection::Alerts, m_action);
    connect(m_action, &QAction::toggled, this, [this](bool on) {
        if (!on)
            show(ProbeMark::Stopped);
    });
    connect(&events, &host::HostEventSignals::taken, this, &IconMark::showProbe);
    connect(&events, &host::HostEventSignals::ended, this, [this] { show(ProbeMark::Stopped); });
}

void IconMark::showProbe(const host::ProbeTaken &taken)
{
    if (m_action->isChecked() && taken.watch != 0)
        show(taken.probe.status == 0 ? ProbeMark::Answered : ProbeMark::Failing);
}

void IconMark::show(ProbeMark mark)
{
    m_window.setWindowIcon(markedIcon(m_plainIcon, mark));
}

} // namespace alerts
