#pragma once

#include <QLocale>
#include <QString>

namespace platform {

// The pattern a locale writes a time of day with, to the second: its long
// time format without the time zone, which a log line read on the same
// machine does not need, nor the brackets and separator around it. For
// example "HH:mm:ss" in German (from "HH:mm:ss t"), "H:mm:ss" in Persian
// (from "H:mm:ss (t)"), "h:mm:ss AP" in American English.
QString timeOfDayFormat(const QLocale &locale);

} // namespace platform
