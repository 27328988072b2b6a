#include "echowatch/decoration/frame_layout.h"

#include <gtest/gtest.h>

namespace decoration {
namespace {

constexpr Qt::WindowFlags MainWindow = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
constexpr Qt::WindowFlags NoMaximizeHint = MainWindow & ~Qt::WindowMaximizeButtonHint;
constexpr Qt::WindowFlags DialogWindow =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
constexpr QSize Fixed(312, 162);
constexpr QSize Unbounded(16777215, 16777215);

struct OfferCase
{
    const char *window;
    Qt::WindowFlags flags;
    QSize minimum, maximum;
    QList<TitleButton> buttons;
    bool resizable;
};

TEST(FrameLayout, OffersOnlyWhatTheWindowCanDo)
{
    using enum TitleButton;
    const OfferCase cases[] = {
        {"fixed size, no maximize asked", NoMaximizeHint, Fixed, Fixed, {Minimize, Close}, false},
        {"fixed size, maximize asked", MainWindow, Fixed, Fixed, {Minimize, Close}, false},
        {"resizable", MainWindow, QSize(100, 80), Unbounded, {Minimize, Maximize, Close}, true},
        {"resizable, no maximize asked", NoMaximizeHint, {}, Unbounded, {Minimize, Close}, true},
        {"dialog", DialogWindow, {}, Unbounded, {Close}, true},
    };
    for (const OfferCase &c : cases) {
        const WindowAbilities can = abilitiesOf(c.flags, c.minimum, c.maximum);
        EXPECT_EQ(titleButtons(can), c.buttons) << c.window;
        EXPECT_EQ(can.resizable, c.resizable) << c.window;
    }
}

TEST(FrameLayout, ButtonsSitInTheTitleBarWithoutOverlapping)
{
    const WindowAbilities resizable = abilitiesOf(MainWindow, {}, Unbounded);
    const QSizeF frame = QSizeF(Fixed).grownBy(frameMargins().toMarginsF());
    const QRectF title = titleRect(frame, resizable);
    QRectF previous = title;
    for (TitleButton button : titleButtons(resizable)) {
        const QRectF rect = buttonRect(frame, resizable, button);
        EXPECT_GE(rect.left(), previous.right()) << int(button);
        EXPECT_GE(rect.top(), 0);
        EXPECT_LE(rect.bottom(), frameMargins().top());
        previous = rect;
    }
    EXPECT_LE(previous.right(), frame.width() - frameMargins().right());
    EXPECT_TRUE(buttonRect(frame, abilitiesOf(NoMaximizeHint, Fixed, Fixed), TitleButton::Maximize)
                    .isNull());
}

struct SpotCase
{
    const char *where;
    QPointF point;
    FrameSpot::Kind fixedKind;     // on a window of fixed size
    FrameSpot::Kind resizableKind; // on a resizable one
    Qt::Edges resizableEdges;
};

TEST(FrameLayout, SpotsAreWhatAPointerFindsThere)
{
    using enum FrameSpot::Kind;
    const QSizeF frame(320, 196);
    const SpotCase cases[] = {
        {"title bar", {60, 15}, TitleBar, TitleBar, {}},
        {"top border", {60, 1}, TitleBar, Border, Qt::TopEdge},
        {"left border", {1, 100}, Border, Border, Qt::LeftEdge},
        {"right border", {318, 100}, Border, Border, Qt::RightEdge},
        {"bottom right corner", {319, 195}, Border, Border, Qt::BottomEdge | Qt::RightEdge},
        {"the window's own area", {160, 100}, Inside, Inside, {}},
    };
    const WindowAbilities fixed = abilitiesOf(MainWindow, Fixed, Fixed);
    const WindowAbilities resizable = abilitiesOf(MainWindow, {}, Unbounded);
    for (const SpotCase &c : cases) {
        EXPECT_EQ(spotAt(c.point, frame, fixed).kind, c.fixedKind) << c.where;
        EXPECT_TRUE(spotAt(c.point, frame, fixed).edges == Qt::Edges()) << c.where;
        EXPECT_EQ(spotAt(c.point, frame, resizable).kind, c.resizableKind) << c.where;
        EXPECT_EQ(spotAt(c.point, frame, resizable).edges, c.resizableEdges) << c.where;
    }
    for (TitleButton button : titleButtons(fixed)) {
        const FrameSpot spot = spotAt(buttonRect(frame, fixed, button).center(), frame, fixed);
        EXPECT_EQ(spot.kind, Button);
        EXPECT_EQ(spot.button, button);
    }
}

} // namespace
} // namespace decoration
