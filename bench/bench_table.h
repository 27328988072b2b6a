#pragma once

#include <string>

// One row of the benchmark table: our figure beside its peer's and the goal,
// so a reader sees ratios rather than lone times that drift with the machine.
void printRow(const std::string &figure, const std::string &ours, const std::string &peer,
              const std::string &goal);
std::string formatNumber(double value, int decimals);
