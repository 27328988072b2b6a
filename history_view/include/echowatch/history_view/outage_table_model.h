#pragma once

#include "echowatch/history/outage_list.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <optional>

namespace history_view {

// The run's outages as a table, the newest first: start, end, duration,
// probes lost, cause, and where the path broke when a trace found it.
// refresh() after probes were recorded inserts the new
// rows on top and updates the one that was newest, so the row a reader
// selected stays selected.
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

    OutageTableModel(const history::OutageList &outages, const history::OutageWhere &where,
                     QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void refresh();
    // Another host's outages, and where their paths broke, which must
    // outlive the model or the next call.
    void setOutages(const history::OutageList &outages, const history::OutageWhere &where);
    // After a verdict was added to where.
    void refreshWhere();
    // The start of the outage shown in the row, when the row has a verdict.
    std::optional<qint64> tracedOutageStart(int row) const;
    // After the list was replaced rather than added to.
    void reset();

private:
    QString cellText(const history::Outage &outage, int column) const;

    const history::OutageList *m_outages;
    const history::OutageWhere *m_where;
    int m_rows = 0;
    quint64 m_dropped = 0;
    QLocale m_locale;
};

// "2027-01-15 08:00:00", the local date and time of a wall-clock time.
QString localDateTimeText(qint64 millisecondsSinceEpoch);

} // namespace history_view
