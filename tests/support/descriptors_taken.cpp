#include "support/descriptors_taken.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace testsupport {

namespace {

// What a few descriptors the test's own threads open meanwhile may take.
constexpr rlim_t Headroom = 32;
constexpr int MostTaken = 100000;

// The highest descriptor open now.
int highestOpen()
{
    int highest = 2;
    DIR *folder = ::opendir("/proc/self/fd");
    if (folder == nullptr)
        return highest;
    while (const dirent *entry = ::readdir(folder)) {
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor > highest && descriptor != ::dirfd(folder))
            highest = descriptor;
    }
    ::closedir(folder);
    return highest;
}

} // namespace

DescriptorsTaken::DescriptorsTaken()
{
    ::getrlimit(RLIMIT_NOFILE, &m_limit);
    rlimit lowered = m_limit;
    const rlim_t enough = static_cast<rlim_t>(highestOpen()) + 1 + Headroom;
    if (enough < lowered.rlim_cur)
        lowered.rlim_cur = enough;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    while (m_taken.size() < MostTaken) {
        const int descriptor = ::eventfd(0, EFD_CLOEXEC);
        if (descriptor < 0) {
            m_tookAll = errno == EMFILE;
            break;
        }
        m_taken.push_back(descriptor);
    }
}

DescriptorsTaken::~DescriptorsTaken()
{
    for (const int descriptor : m_taken)
        ::close(descriptor);
    ::setrlimit(RLIMIT_NOFILE, &m_limit);
}

int liveProcessesInGroup(pid_t group)
{
    int live = 0;
    DIR *processes = ::opendir("/proc");
    if (processes == nullptr)
        return -1;
    while (const dirent *entry = ::readdir(processes)) {
        const std::string name = entry->d_name;
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat("/proc/" + name + "/stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid pgrp ...: the name may hold anything, so
        // what follows its last parenthesis is read.
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long parent = 0;
        long processGroup = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld %ld", &state, &parent,
                        &processGroup) == 3 &&
            processGroup == group && state != 'Z')
            ++live;
    }
    ::closedir(processes);
    return live;
}

} // namespace testsupport
