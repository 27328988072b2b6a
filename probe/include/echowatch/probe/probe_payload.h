#pragma once

#include <string_view>

namespace probe {

// What every probe sends, the window's and the headless prober's alike: the
// digits 1 to 9 three times, then 1 to 5.
inline constexpr std::u16string_view ProbePayload = u"12345678912345678912345678912345";
static_assert(ProbePayload.size() == 32);

} // namespace probe
