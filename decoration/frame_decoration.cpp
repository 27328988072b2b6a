#include "frame_decoration.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QTimer>
#include <QWindow>

namespace decoration {

QMargins FrameDecoration::margins(MarginsType type) const
{
    // The frame casts no shadow.
    return type == ShadowsOnly ? QMargins() : frameMargins();
}

WindowAbilities FrameDecoration::abilities() const
{
    const QWindow *shown = window();
    return abilitiesOf(shown->flags(), shown->minimumSize(), shown->maximumSize());
}

QSizeF FrameDecoration::frameSize() const
{
    return window()->size().grownBy(frameMargins());
}

void FrameDecoration::press(TitleButton button)
{
    // Once the pointer event is done with: closing a window may delete it,
    // and this frame with it, while the frame is still handling the event.
    // Dropped if the window is gone by then.
    QWindow *shown = window();
    QTimer::singleShot(0, shown, [shown, button] {
        switch (button) {
        case TitleButton::Close:
            // Asks, as the compositor's own close would: the window may refuse.
            shown->close();
            break;
        case TitleButton::Maximize:
            shown->setWindowStates(shown->windowStates() ^ Qt::WindowMaximized);
            break;
        case TitleButton::Minimize:
            shown->setWindowState(Qt::WindowMinimized);
            break;
        }
    });
}

bool FrameDecoration::handleMouse(QtWaylandClient::QWaylandInputDevice *inputDevice,
                                  const QPointF &local, const QPointF &, Qt::MouseButtons buttons,
                                  Qt::KeyboardModifiers)
{
    const WindowAbilities can = abilities();
    const FrameSpot spot = spotAt(local, frameSize(), can);
    const bool released = isLeftReleased(buttons);
    switch (spot.kind) {
    case FrameSpot::Kind::Inside:
        m_pressed.reset();
        setMouseButtons(buttons);
        return false;
    case FrameSpot::Kind::Border:
        if (spot.edges)
            startResize(inputDevice, spot.edges, buttons);
        break;
    case FrameSpot::Kind::TitleBar:
        if (isRightClicked(buttons))
            showWindowMenu(inputDevice);
        else
            startMove(inputDevice, buttons);
        break;
    case FrameSpot::Kind::Button:
        if (isLeftClicked(buttons))
            m_pressed = spot.button;
        else if (released && m_pressed == spot.button)
            press(spot.button);
        break;
    }
    if (released)
        m_pressed.reset();
    setMouseButtons(buttons);
    return true;
}

bool FrameDecoration::handleTouch(QtWaylandClient::QWaylandInputDevice *, const QPointF &local,
                                  const QPointF &, QEventPoint::State state, Qt::KeyboardModifiers)
{
    const FrameSpot spot = spotAt(local, frameSize(), abilities());
    if (state != QEventPoint::Pressed || spot.kind != FrameSpot::Kind::Button)
        return false;
    press(spot.button);
    return true;
}

void FrameDecoration::paint(QPaintDevice *device)
{
    const WindowAbilities can = abilities();
    const QSizeF outer = frameSize();
    const QMargins frame = frameMargins();
    const bool active = window()->isActive();
    const QPalette palette;

    QPainter painter(device);
    // Only the frame: the window's own area is the window's to paint.
    const QRectF whole(QPointF(), outer);
    const QRectF inside = whole.marginsRemoved(frame.toMarginsF());
    QPainterPath frameArea;
    frameArea.addRect(whole);
    frameArea.addRect(inside);
    painter.fillPath(frameArea, palette.color(QPalette::Active, QPalette::Window));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(
        palette.color(active ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);
    const QRectF title = titleRect(outer, can);
    painter.drawText(
        title, Qt::AlignCenter,
        painter.fontMetrics().elidedText(window()->title(), Qt::ElideRight, int(title.width())));
    for (TitleButton button : titleButtons(can))
        paintButton(painter, button, buttonRect(outer, can, button));
}

void FrameDecoration::paintButton(QPainter &painter, TitleButton button, const QRectF &rect) const
{
    const QRectF glyph = rect.adjusted(6, 6, -6, -6);
    switch (button) {
    case TitleButton::Close:
        painter.drawLine(glyph.topLeft(), glyph.bottomRight());
        painter.drawLine(glyph.topRight(), glyph.bottomLeft());
        break;
    case TitleButton::Maximize:
        if (window()->windowStates() & Qt::WindowMaximized) {
            painter.drawRect(glyph.adjusted(3, 0, 0, -3));
            painter.drawRect(glyph.adjusted(0, 3, -3, 0));
        } else {
            painter.drawRect(glyph);
        }
        break;
    case TitleButton::Minimize:
        painter.drawLine(glyph.bottomLeft(), glyph.bottomRight());
        break;
    }
}

} // namespace decoration
