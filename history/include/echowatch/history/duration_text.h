#pragma once

#include "echowatch/history/probe_sample.h"

#include <string>

namespace history {

// Every duration the program shows, by one rule: under a minute in tenths
// of a second ("2.5 s", "0.0 s"), from a minute on in whole seconds with
// the units that are not zero ("1 min 40 s", "1 h 5 s"), each rounded half
// up. Negative durations (a clock set back) show as zero.
std::string durationText(Milliseconds duration);

// "down 16.3% of the watched time (1 min 40 s of 10 min 14 s)": how long
// the host was down of the time it was watched, the share with three
// significant digits; empty when it was not watched at all.
std::string downTimeLine(Milliseconds down, Milliseconds watched);

} // namespace history
