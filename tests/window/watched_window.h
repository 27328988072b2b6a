#pragma once

#include "test_window.h"

#include "echowatch/app/window_watch.h"

#include <chrono>

// The test window with the host monitor reading it, as the program has it:
// the features under test listen to its events. Probes are stepped by hand.
struct WatchedWindow : TestWindow
{
    explicit WatchedWindow(int downAfter = 3, host::AddressWatch::Naming naming = {});
    explicit WatchedWindow(const host::AlertRules &rules, host::AddressWatch::Naming naming = {});

    const host::HostEventSignals &events() const { return watch.events(); }

    // Presses Start at an interval no tick of its own comes in during a
    // test.
    void start();
    // One probe a second later than the last, with the outcome given.
    void probe(EchoStatus status, std::int32_t roundTripMilliseconds = 1);
    // One letter per probe: a answered, f timed out, u host unreachable,
    // b text that is no address (the box is put back after it).
    void probes(const char *letters);

    app::WindowWatch &watch;
};
