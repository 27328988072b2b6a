#include "bench_table.h"

#include <cstdio>

void printRow(const std::string &figure, const std::string &ours, const std::string &peer,
              const std::string &goal)
{
    std::printf("| %s | %s | %s | %s |\n", figure.c_str(), ours.c_str(), peer.c_str(),
                goal.c_str());
    std::fflush(stdout);
}

std::string formatNumber(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
