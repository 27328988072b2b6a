#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <vector>

namespace testsupport {

// Every descriptor the process may still open, taken for as long as this
// lives: what a process at its limit sees (the soft limit is lowered first
// to just above what is open, so that the taking ends soon). Given back,
// and the limit restored, when it goes.
class DescriptorsTaken
{
public:
    DescriptorsTaken();
    ~DescriptorsTaken();
    DescriptorsTaken(const DescriptorsTaken &) = delete;
    DescriptorsTaken &operator=(const DescriptorsTaken &) = delete;

    bool tookAll() const noexcept { return m_tookAll; }

private:
    rlimit m_limit{};
    std::vector<int> m_taken;
    bool m_tookAll = false;
};

// The live processes (no zombies) in a process group, read from /proc.
int liveProcessesInGroup(pid_t group);

} // namespace testsupport
