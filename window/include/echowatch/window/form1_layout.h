#pragma once

#include <QRect>
#include <QSize>

#include <chrono>
#include <string_view>

namespace window {

// The window as it was drawn: places and sizes in twips (1440 to the inch),
// kept as drawn so that they can be read against the drawing. Fifteen twips
// make one device-independent pixel; Qt scales those on high-DPI screens.
inline constexpr int TwipsPerPixel = 15;

struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;
};

constexpr QRect toPixels(TwipsRect twips)
{
    return QRect(twips.left / TwipsPerPixel, twips.top / TwipsPerPixel, twips.width / TwipsPerPixel,
                 twips.height / TwipsPerPixel);
}

inline constexpr int ClientWidthTwips = 4680;
inline constexpr int ClientHeightTwips = 2430;

constexpr QSize clientSize()
{
    return QSize(ClientWidthTwips / TwipsPerPixel, ClientHeightTwips / TwipsPerPixel);
}

inline constexpr TwipsRect Text1Place{120, 0, 1455, 285};
inline constexpr TwipsRect Command1Place{120, 360, 1455, 375};
inline constexpr TwipsRect Text2Place{2160, 360, 735, 285};
inline constexpr TwipsRect Label2Place{3120, 0, 1215, 255};
inline constexpr TwipsRect Label3Place{3120, 360, 1215, 255};
inline constexpr TwipsRect Label1Place{120, 840, 4335, 255};
inline constexpr TwipsRect Label4Place{120, 1200, 4335, 375};
inline constexpr TwipsRect List1Place{120, 1680, 4455, 645};

// A fixed layout holds only with a font whose widths are known: the longest
// status line has to fit Label1, the attribution Label4, and the longest
// dotted address Text1. DejaVu Sans comes
// with every Debian desktop. Sizes are in pixels, like the places, so that a
// desktop's font DPI setting cannot push text out of its control; the
// attribution is fine print, a size smaller.
inline constexpr std::string_view WindowFontFamily = "DejaVu Sans";
inline constexpr int WindowFontPixelSize = 10;
inline constexpr int AttributionFontPixelSize = 9;

inline constexpr std::chrono::milliseconds InitialTimerInterval{100};

// How long a click on Command1 waits for the probe under way to be shown:
// well past every probe's own bound (the helper's 600 ms), so that only a
// worker that never answers makes it take effect without that result.
inline constexpr std::chrono::milliseconds ClickWaitBound{2000};

} // namespace window
