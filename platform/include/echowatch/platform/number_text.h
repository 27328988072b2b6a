#pragma once

#include <QString>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <optional>

namespace platform {

// Decimal digits, with a leading "-" for negatives and nothing else.
QString integerText(std::int32_t value);

// A probe interval typed as a whole number of milliseconds, from 1 to the
// largest 32-bit value, with nothing around it but white space. Signs, fractions,
// group separators and other digits than 0 to 9 are refused, so what is
// accepted reads the same in every locale.
std::optional<std::chrono::milliseconds> intervalFromText(QStringView text);

} // namespace platform
