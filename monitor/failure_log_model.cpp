#include "failure_log_model.h"

#include "form1_texts.h"

#include "platform/qt_text.h"
#include "platform/time_of_day_text.h"
#include "probe/status_text.h"

#include <QTime>

#include <limits>

FailureLogModel::FailureLogModel(const QLocale &locale, QObject *parent)
    : QAbstractListModel(parent), m_locale(locale), m_timeFormat(platform::timeOfDayFormat(locale))
{}

int FailureLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant FailureLogModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return lineText(m_lines[static_cast<std::size_t>(index.row())]);
}

void FailureLogModel::append(EchoStatus status, QTime timeOfDay)
{
    const int row = rowCount();
    if (row == std::numeric_limits<int>::max())
        return;
    beginInsertRows(QModelIndex(), row, row);
    m_lines.push_back({status, timeOfDay.msecsSinceStartOfDay()});
    endInsertRows();
}

QString FailureLogModel::lineText(const FailureLogLine &line) const
{
    const QTime timeOfDay = QTime::fromMSecsSinceStartOfDay(line.millisecondsOfDay);
    return QString::fromStdString(StatusText(line.status)) + platform::qtText(LogSeparator) +
           m_locale.toString(timeOfDay, m_timeFormat);
}
