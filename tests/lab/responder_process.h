#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The lab's responder, running in the lab's responder namespace for as long
// as this object lives. Started through "ip netns exec", so the test itself
// stays in the client namespace.
namespace lab {

class ResponderProcess
{
public:
    // Returns once the responder listens; check ready() before relying on it.
    ResponderProcess(const std::string &lab, const std::vector<std::string> &plan);
    ResponderProcess(const ResponderProcess &) = delete;
    ResponderProcess &operator=(const ResponderProcess &) = delete;
    ~ResponderProcess();

    bool ready() const noexcept { return m_ready; }

private:
    bool awaitReady(int output) const;

    pid_t m_pid = -1;
    bool m_ready = false;
};

} // namespace lab
