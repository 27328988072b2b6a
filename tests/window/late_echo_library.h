#pragma once

#include "support/fake_services.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

// The scripted echo service, answering each request only once the test says
// so: a probe stays under way on the worker thread for as long as the test
// needs. A request nobody answers is let go after ten seconds, so that a
// failing test ends. Given a delay, it answers every request by itself that
// long after it came, as a host at that distance would.
class LateEchoLibrary final : public net::IcmpEchoLibrary
{
public:
    LateEchoLibrary() = default;
    explicit LateEchoLibrary(std::chrono::milliseconds delay) : m_delay(delay) {}

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    // Lets the oldest waiting request (or the next to come) be answered.
    void answer();
    // How many requests have come so far.
    int begun() const;
    // How many were let go unanswered after the ten seconds.
    int letGo() const;

    fakes::IcmpEchoLibrary script;

private:
    const std::optional<std::chrono::milliseconds> m_delay;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    int m_begun = 0;
    int m_permits = 0;
    int m_letGo = 0;
};
