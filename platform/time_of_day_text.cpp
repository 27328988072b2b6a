#include "echowatch/platform/time_of_day_text.h"

namespace platform {

QString timeOfDayFormat(const QLocale &locale)
{
    const QString longFormat = locale.timeFormat(QLocale::LongFormat);
    QString format;
    bool quoted = false;
    for (const QChar character : longFormat) {
        if (character == u'\'')
            quoted = !quoted;
        // Unquoted, every 't' is part of a time zone field.
        if (quoted || character != u't')
            format += character;
    }
    return format.simplified();
}

} // namespace platform
