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

OutageTableModel::OutageTableModel(const history::OutageList &outages,
                                   const history::OutageWhere &where, QObject *parent)
    : QAbstractTableModel(parent), m_outages(&outages), m_where(&where)
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
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    // The newest first; the model shows the outages known at its refresh.
    const auto outage = static_cast<std::size_t>(m_rows - 1 - index.row());
    // A cause or verdict cut short to fit its column is read in full as the
    // tooltip.
    const bool longText = index.column() == CauseColumn || index.column() == WhereColumn;
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && longText))
        return cellText((*m_outages)[outage], index.column());
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
        const auto found = m_where->find(outage.start);
        return found == m_where->end() ? QString() : QString::fromStdString(found->second);
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

void OutageTableModel::setOutages(const history::OutageList &outages,
                                  const history::OutageWhere &where)
{
    beginResetModel();
    m_outages = &outages;
    m_where = &where;
    m_rows = static_cast<int>(outages.size());
    m_dropped = outages.dropped();
    endResetModel();
}

void OutageTableModel::reset()
{
    setOutages(*m_outages, *m_where);
}

void OutageTableModel::refreshWhere()
{
    if (m_rows > 0)
        emit dataChanged(index(0, WhereColumn), index(m_rows - 1, WhereColumn));
}

std::optional<qint64> OutageTableModel::tracedOutageStart(int row) const
{
    if (row < 0 || row >= m_rows)
        return std::nullopt;
    const auto start = (*m_outages)[static_cast<std::size_t>(m_rows - 1 - row)].start;
    if (!m_where->contains(start))
        return std::nullopt;
    return start;
}

void OutageTableModel::refresh()
{
    const auto rows = static_cast<int>(m_outages->size());
    // Fewer rows: the host's record was started again.
    if (m_outages->dropped() != m_dropped || rows < m_rows) {
        beginResetModel();
        m_rows = rows;
        m_dropped = m_outages->dropped();
        endResetModel();
        return;
    }
    // New outages come in on top; the one that was newest may have ended
    // since, and is just below them.
    const int added = rows - m_rows;
    if (added > 0) {
        beginInsertRows(QModelIndex(), 0, added - 1);
        m_rows = rows;
        endInsertRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0),
                         index(std::min(std::max(added, 0), m_rows - 1), ColumnCount - 1));
}

} // namespace history_view
