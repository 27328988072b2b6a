#include "echowatch/window/failure_log_model.h"

#include "echowatch/window/form1_texts.h"

#include "echowatch/platform/qt_text.h"
#include "echowatch/platform/time_of_day_text.h"
#include "echowatch/probe/status_text.h"

#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace window {

namespace {

constexpr unsigned SecondsBits = 17; // a day has 86,400 seconds
constexpr std::uint32_t SecondsMask = (1u << SecondsBits) - 1;
constexpr EchoStatus LargestPackedStatus = (1 << (32 - SecondsBits)) - 1;
constexpr std::uint32_t UncommonStatusMarker = 0;

} // namespace

FailureLogModel::FailureLogModel(const QLocale &locale, QObject *parent)
    : QAbstractListModel(parent), m_locale(locale), m_timeFormat(platform::timeOfDayFormat(locale))
{}

int FailureLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant FailureLogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole)
        return dateText(row);
    if (role != Qt::DisplayRole)
        return QVariant();
    const QTime timeOfDay = QTime(0, 0).addSecs(static_cast<int>(m_lines[row] & SecondsMask));
    return QString::fromStdString(StatusText(statusAt(row))) + platform::qtText(LogSeparator) +
           m_locale.toString(timeOfDay, m_timeFormat);
}

// "Wednesday, 9 December 2026 13:05:34 UTC+01:00" in the window's locale.
QString FailureLogModel::dateText(std::size_t row) const
{
    const auto mark = std::upper_bound(
        m_dates.begin(), m_dates.end(), row,
        [](std::size_t wanted, const DateMark &entry) { return wanted < entry.firstRow; });
    if (mark == m_dates.begin())
        return QString();
    const DateMark &date = *std::prev(mark);
    const QTime timeOfDay = QTime(0, 0).addSecs(static_cast<int>(m_lines[row] & SecondsMask));
    const int offsetMinutes = date.offsetSeconds / 60;
    const QChar sign = offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+');
    return m_locale.toString(QDate::fromJulianDay(date.julianDay), QLocale::LongFormat) +
           QLatin1Char(' ') + m_locale.toString(timeOfDay, m_timeFormat) +
           QStringLiteral(" UTC%1%2:%3")
               .arg(sign)
               .arg(std::abs(offsetMinutes) / 60, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offsetMinutes) % 60, 2, 10, QLatin1Char('0'));
}

// Dates and offsets change on whole minutes, so one look a minute is enough.
void FailureLogModel::markDate(std::size_t row, std::chrono::system_clock::time_point wallTime)
{
    const auto minute =
        std::chrono::duration_cast<std::chrono::minutes>(wallTime.time_since_epoch()).count();
    if (minute == m_markedMinute)
        return;
    m_markedMinute = minute;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(minute * 60);
    const DateMark mark{row, local.date().toJulianDay(), local.offsetFromUtc()};
    if (m_dates.empty() || m_dates.back().julianDay != mark.julianDay ||
        m_dates.back().offsetSeconds != mark.offsetSeconds)
        m_dates.push_back(mark);
}

void FailureLogModel::append(EchoStatus status, QTime timeOfDay,
                             std::chrono::system_clock::time_point wallTime)
{
    const int row = rowCount();
    if (row == std::numeric_limits<int>::max())
        return;
    const auto seconds = static_cast<std::uint32_t>(timeOfDay.msecsSinceStartOfDay() / 1000);
    const bool packs = status >= 1 && status <= LargestPackedStatus;
    beginInsertRows(QModelIndex(), row, row);
    if (!packs)
        m_uncommonStatuses.emplace_back(static_cast<std::size_t>(row), status);
    const auto packed = packs ? static_cast<std::uint32_t>(status) : UncommonStatusMarker;
    m_lines.push_back(packed << SecondsBits | seconds);
    markDate(static_cast<std::size_t>(row), wallTime);
    endInsertRows();
}

EchoStatus FailureLogModel::statusAt(std::size_t row) const
{
    const auto packed = static_cast<EchoStatus>(m_lines[row] >> SecondsBits);
    if (packed != UncommonStatusMarker)
        return packed;
    const auto aside = std::lower_bound(
        m_uncommonStatuses.begin(), m_uncommonStatuses.end(), row,
        [](const auto &entry, std::size_t wanted) { return entry.first < wanted; });
    return aside != m_uncommonStatuses.end() && aside->first == row ? aside->second : 0;
}

} // namespace window
