#pragma once

#include <QLocale>
#include <QString>

namespace platform {

// The pattern a locale writes a time of day with, to the second: its long
// time format, whose time zone a log line read on the same machine does not
// need. For example "HH:mm:ss" in German, "h:mm:ss AP" in American English.
QString timeOfDayFormat(const QLocale &locale);

} // namespace platform
