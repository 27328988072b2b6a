#pragma once

#include <string_view>

namespace platform {

// The program's name as the user sees it: the window's title and the title of
// every message box.
inline constexpr std::string_view ApplicationTitle = "EchoWatch";

} // namespace platform
