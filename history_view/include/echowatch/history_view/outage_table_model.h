#pragma once

#include "echowatch/history/outage_list.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <optional>
#include <vector>

namespace history_view {

// Outages as a table, the newest first: start, end, duration, probes lost,
// cause, and where the path broke when a trace found it. Given the
// outages again as probes come, it inserts the new rows on top, drops
// those the span left behind at the bottom and updates the others, so the
// row a reader selected stays selected.
class OutageTableModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        StartColumn,
        EndColumn,
        DurationColumn,
        LostColumn,
        CauseColumn,
        WhereColumn,
        ColumnCount,
    };

    explicit OutageTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The outages to show, oldest first, and where their paths broke.
    void setOutages(std::vector<history::Outage> outages, history::OutageWhere where);
    const std::vector<history::Outage> &outages() const noexcept { return m_outages; }
    const history::OutageWhere &where() const noexcept { return m_where; }
    // The start of the outage shown in the row, when the row has a verdict.
    std::optional<qint64> tracedOutageStart(int row) const;

private:
    QString cellText(const history::Outage &outage, int column) const;
    const history::Outage &outageInRow(int row) const;
    // How many of the oldest shown are gone from the outages given, when
    // the others open them in the same order; none otherwise.
    std::optional<std::size_t> droppedBefore(const std::vector<history::Outage> &outages) const;

    std::vector<history::Outage> m_outages;
    history::OutageWhere m_where;
    QLocale m_locale;
};

// "2027-01-15 08:00:00", the local date and time of a wall-clock time.
QString localDateTimeText(qint64 millisecondsSinceEpoch);

} // namespace history_view
