#pragma once

#include "echowatch/store/stored_history.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace store {

class Connection;

// As many probes as the window's own record keeps in full.
inline constexpr std::size_t DefaultProbesInFull = 1'000'000;

// What the file holds of one host over the span: its watches, runs and
// outages, and its probes, the latest probesInFull of them in full and the
// minutes before those as summaries. Empty when the file never saw the
// host; none, with the reason in error, when any of it cannot be read (a
// lock held past the bound, a damaged page): never a shorter history.
std::optional<HostHistory> readHostHistory(Connection &connection, std::string_view address,
                                           history::TimeSpan span, std::size_t probesInFull,
                                           std::string &error);

} // namespace store
