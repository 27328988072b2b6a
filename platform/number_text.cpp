#include "echowatch/platform/number_text.h"

#include <limits>

namespace platform {

QString integerText(std::int32_t value)
{
    return QString::number(value);
}

std::optional<std::chrono::milliseconds> intervalFromText(QStringView text)
{
    const QStringView digits = text.trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar character : digits) {
        if (character < u'0' || character > u'9')
            return std::nullopt;
    }
    bool converted = false;
    const qlonglong value = digits.toLongLong(&converted);
    if (!converted || value < 1 || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::chrono::milliseconds{value};
}

} // namespace platform
