#pragma once

#include "echowatch/decoration/frame_layout.h"

#include <QtWaylandClient/private/qwaylandabstractdecoration_p.h>

#include <optional>

namespace decoration {

// The frame Qt draws around our windows where the compositor draws none
// (weston, GNOME). Qt's own frames offer to maximize every window; this one
// offers only what the window can do, so a window of fixed size gets no
// maximize button and no resizing borders.
class FrameDecoration : public QtWaylandClient::QWaylandAbstractDecoration
{
public:
    QMargins margins(MarginsType type = Full) const override;
    bool handleMouse(QtWaylandClient::QWaylandInputDevice *inputDevice, const QPointF &local,
                     const QPointF &global, Qt::MouseButtons buttons,
                     Qt::KeyboardModifiers modifiers) override;
    bool handleTouch(QtWaylandClient::QWaylandInputDevice *inputDevice, const QPointF &local,
                     const QPointF &global, QEventPoint::State state,
                     Qt::KeyboardModifiers modifiers) override;

protected:
    void paint(QPaintDevice *device) override;

private:
    WindowAbilities abilities() const;
    QSizeF frameSize() const;
    void press(TitleButton button);
    void paintButton(QPainter &painter, TitleButton button, const QRectF &rect) const;

    // A button acts when released over the button it was pressed on.
    std::optional<TitleButton> m_pressed;
};

} // namespace decoration
