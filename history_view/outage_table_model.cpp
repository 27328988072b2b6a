#include "echowatch/history_view/outage_table_model.h"

#include "echowatch/history/outage_list.h"
#include "echowatch/probe/status_text.h"

#include <QDateTime>

#include <algorithm>

namespace history_view {

QString localDateTimeText(qint64 millisecondsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(millisecondsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString durationText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(static_cast<double>(milliseconds) / 1000.0, 0, 'f', 1);
    const QString minutesAndSeconds = QStringLiteral("%1 min %2 s")
                                          .arg(seconds / 60 % 60)
                                          .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1 h ").arg(seconds / 3600) + minutesAndSeconds;
}

OutageTableModel::OutageTableModel(const history::OutageList &outages, QObject *parent)
    : QAbstractTableModel(parent), m_outages(outages)
{
    refresh();
}

int OutageTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int OutageTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OutageTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return cellText(m_outages[static_cast<std::size_t>(index.row())], index.column());
}

QString OutageTableModel::cellText(const history::Outage &outage, int column) const
{
    switch (column) {
    case StartColumn:
        return localDateTimeText(outage.start);
    case EndColumn:
        return outage.end ? localDateTimeText(*outage.end) : tr("ongoing");
    case DurationColumn:
        return durationText(outage.duration());
    case LostColumn:
        return m_locale.toString(static_cast<qulonglong>(outage.probesLost));
    case CauseColumn:
        return QString::fromStdString(StatusText(outage.cause())) +
               (outage.mixed() ? tr(" (mixed)") : QString());
    }
    return QString();
}

QVariant OutageTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case StartColumn:
        return tr("Start");
    case EndColumn:
        return tr("End");
    case DurationColumn:
        return tr("Duration");
    case LostColumn:
        return tr("Probes lost");
    case CauseColumn:
        return tr("Cause");
    }
    return QVariant();
}

void OutageTableModel::refresh()
{
    const auto rows = static_cast<int>(m_outages.size());
    if (m_outages.dropped() != m_dropped) {
        beginResetModel();
        m_rows = rows;
        m_dropped = m_outages.dropped();
        endResetModel();
        return;
    }
    // The row that was last may have ended since, as well as the new ones.
    const int firstChanged = std::max(m_rows - 1, 0);
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(firstChanged, 0), index(m_rows - 1, ColumnCount - 1));
}

} // namespace history_view
