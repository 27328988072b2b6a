#include "echowatch/decoration/frame_layout.h"

namespace decoration {

namespace {

constexpr int BorderWidth = 4;
constexpr int TitleBarHeight = 30;
constexpr qreal ButtonSize = 22;
constexpr qreal ButtonSpacing = 6;

} // namespace

WindowAbilities abilitiesOf(Qt::WindowFlags flags, QSize minimumSize, QSize maximumSize)
{
    const bool resizable = minimumSize != maximumSize;
    return {flags.testFlag(Qt::WindowMinimizeButtonHint),
            resizable && flags.testFlag(Qt::WindowMaximizeButtonHint), resizable};
}

QMargins frameMargins()
{
    return {BorderWidth, TitleBarHeight, BorderWidth, BorderWidth};
}

QList<TitleButton> titleButtons(const WindowAbilities &abilities)
{
    QList<TitleButton> buttons;
    if (abilities.minimizable)
        buttons << TitleButton::Minimize;
    if (abilities.maximizable)
        buttons << TitleButton::Maximize;
    buttons << TitleButton::Close;
    return buttons;
}

QRectF buttonRect(QSizeF frameSize, const WindowAbilities &abilities, TitleButton button)
{
    const QList<TitleButton> buttons = titleButtons(abilities);
    const qsizetype index = buttons.indexOf(button);
    if (index < 0)
        return {};
    const qsizetype fromRight = buttons.size() - index;
    const qreal left = frameSize.width() - BorderWidth - fromRight * (ButtonSize + ButtonSpacing);
    return {left, (TitleBarHeight - ButtonSize) / 2, ButtonSize, ButtonSize};
}

QRectF titleRect(QSizeF frameSize, const WindowAbilities &abilities)
{
    const QRectF firstButton = buttonRect(frameSize, abilities, titleButtons(abilities).first());
    const qreal left = BorderWidth + ButtonSpacing;
    return {left, 0, qMax<qreal>(0, firstButton.left() - ButtonSpacing - left), TitleBarHeight};
}

FrameSpot spotAt(QPointF point, QSizeF frameSize, const WindowAbilities &abilities)
{
    const QMargins margins = frameMargins();
    Qt::Edges edges;
    if (point.x() < margins.left())
        edges |= Qt::LeftEdge;
    if (point.x() >= frameSize.width() - margins.right())
        edges |= Qt::RightEdge;
    if (point.y() < BorderWidth)
        edges |= Qt::TopEdge;
    if (point.y() >= frameSize.height() - margins.bottom())
        edges |= Qt::BottomEdge;
    if (edges && abilities.resizable)
        return {FrameSpot::Kind::Border, edges, {}};
    if (point.y() < margins.top()) {
        for (TitleButton button : titleButtons(abilities)) {
            if (buttonRect(frameSize, abilities, button).contains(point))
                return {FrameSpot::Kind::Button, {}, button};
        }
        return {FrameSpot::Kind::TitleBar, {}, {}};
    }
    return {edges ? FrameSpot::Kind::Border : FrameSpot::Kind::Inside, {}, {}};
}

} // namespace decoration
