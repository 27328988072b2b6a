#pragma once

#include <QString>

#include <string_view>

namespace platform {

// The program keeps its words as UTF-8 constants; the toolkit shows QStrings.
QString qtText(std::string_view text);

} // namespace platform
