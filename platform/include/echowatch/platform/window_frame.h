#pragma once

namespace platform {

// Called before the application object exists. On Wayland, where the
// compositor draws no window frames (weston, GNOME), Qt draws them itself,
// and its own frames offer to maximize windows of fixed size; this asks Qt
// for the program's frame plugin, which offers only what a window can do.
// The plugin is found from the program's own path, and taken only by the Qt
// it was built against (its interface is private to Qt) and only if the
// user has chosen no frame of their own (QT_WAYLAND_DECORATION).
void preferOwnWindowFrame();

} // namespace platform
