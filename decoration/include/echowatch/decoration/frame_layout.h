#pragma once

#include <QList>
#include <QMargins>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <Qt>

namespace decoration {

enum class TitleButton
{
    Minimize,
    Maximize,
    Close
};

// What the frame may offer a window: a window of fixed size is never
// offered to be maximized or resized, whatever its flags say.
struct WindowAbilities
{
    bool minimizable = false;
    bool maximizable = false;
    bool resizable = false;
};

WindowAbilities abilitiesOf(Qt::WindowFlags flags, QSize minimumSize, QSize maximumSize);

// The frame drawn around the window's own area: a title bar and thin borders.
QMargins frameMargins();

// The buttons at the title bar's right end, in order from left to right.
QList<TitleButton> titleButtons(const WindowAbilities &abilities);

// Where a button sits in a frame of the given outer size.
QRectF buttonRect(QSizeF frameSize, const WindowAbilities &abilities, TitleButton button);

// The title bar left of the buttons, where the title is written.
QRectF titleRect(QSizeF frameSize, const WindowAbilities &abilities);

// What lies under a point of the frame.
struct FrameSpot
{
    enum class Kind
    {
        Inside,
        Border,
        TitleBar,
        Button
    };
    Kind kind = Kind::Inside;
    Qt::Edges edges;                         // for a border of a resizable window
    TitleButton button = TitleButton::Close; // for a button
};

FrameSpot spotAt(QPointF point, QSizeF frameSize, const WindowAbilities &abilities);

} // namespace decoration
