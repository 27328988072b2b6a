#include "process_figures.h"

#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

std::size_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

int openDescriptors()
{
    DIR *directory = ::opendir("/proc/self/fd");
    if (directory == nullptr)
        return -1;
    int count = 0;
    while (::readdir(directory) != nullptr)
        ++count;
    ::closedir(directory);
    return count - 3; // ".", ".." and the directory's own descriptor
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
