#include "support/process_status.h"

#include <fstream>

std::string capabilitySets(pid_t process)
{
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    std::string sets;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("CapInh") || line.starts_with("CapPrm") ||
            line.starts_with("CapEff") || line.starts_with("CapAmb"))
            sets += line + "\n";
    }
    return sets;
}
