#include "echowatch/history_view/outage_table_model.h"

#include "echowatch/history/duration_text.h"
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

OutageTableModel::OutageTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int OutageTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_outages.size());
}

int OutageTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OutageTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    // A cause or verdict cut short to fit its column is read in full as the
    // tooltip.
    const bool longText = index.column() == CauseColumn || index.column() == WhereColumn;
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && longText))
        return cellText(outageInRow(index.row()), index.column());
    return QVariant();
}

QString OutageTableModel::cellText(const history::Outage &outage, int column) const
{
    switch (column) {
    case StartColumn:
        return localDateTimeText(outage.start);
    case EndColumn:
        if (!outage.end)
            return tr("ongoing");
        if (outage.endedUnwatched)
            return tr("%1, not watched").arg(localDateTimeText(*outage.end));
        return localDateTimeText(*outage.end);
    case DurationColumn:
        return QString::fromStdString(history::durationText(outage.duration()));
    case LostColumn:
        return m_locale.toString(static_cast<qulonglong>(outage.probesLost));
    case CauseColumn:
        return QString::fromStdString(StatusText(outage.cause())) +
               (outage.mixed() ? tr(" (mixed)") : QString());
    case WhereColumn: {
        const auto found = m_where.find(outage.start);
        return found == m_where.end() ? QString() : QString::fromStdString(found->second);
    }
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
    case WhereColumn:
        return tr("Where");
    }
    return QVariant();
}

// The newest first.
const history::Outage &OutageTableModel::outageInRow(int row) const
{
    return m_outages[m_outages.size() - 1 - static_cast<std::size_t>(row)];
}

std::optional<qint64> OutageTableModel::tracedOutageStart(int row) const
{
    if (row < 0 || row >= rowCount())
        return std::nullopt;
    const qint64 start = outageInRow(row).start;
    if (!m_where.contains(start))
        return std::nullopt;
    return start;
}

std::optional<std::size_t>
OutageTableModel::droppedBefore(const std::vector<history::Outage> &outages) const
{
    if (m_outages.empty())
        return 0;
    if (outages.empty())
        return std::nullopt;
    const auto first = std::find_if(m_outages.begin(), m_outages.end(),
                                    [&](const history::Outage &outage) {
                                        return outage.start >= outages.front().start;
                                    });
    const auto dropped = static_cast<std::size_t>(first - m_outages.begin());
    const std::size_t kept = m_outages.size() - dropped;
    if (kept > outages.size())
        return std::nullopt;
    for (std::size_t index = 0; index < kept; ++index) {
        if (m_outages[dropped + index].start != outages[index].start)
            return std::nullopt;
    }
    return dropped;
}

// Rows the span left go from the bottom, new ones come in on top; the one
// that was newest may have ended since, and every verdict may be new.
void OutageTableModel::setOutages(std::vector<history::Outage> outages,
                                  history::OutageWhere where)
{
    const std::optional<std::size_t> dropped = droppedBefore(outages);
    if (!dropped) {
        beginResetModel();
        m_outages = std::move(outages);
        m_where = std::move(where);
        endResetModel();
        return;
    }
    const int rows = rowCount();
    if (*dropped > 0) {
        beginRemoveRows(QModelIndex(), rows - static_cast<int>(*dropped), rows - 1);
        m_outages.erase(m_outages.begin(), m_outages.begin() + static_cast<std::ptrdiff_t>(*dropped));
        endRemoveRows();
    }
    const int added = static_cast<int>(outages.size() - m_outages.size());
    if (added > 0)
        beginInsertRows(QModelIndex(), 0, added - 1);
    m_outages = std::move(outages);
    m_where = std::move(where);
    if (added > 0)
        endInsertRows();
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

} // namespace history_view
