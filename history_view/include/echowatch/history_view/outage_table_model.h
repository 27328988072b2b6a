#pragma once

#include <QAbstractTableModel>
#include <QLocale>

namespace history {
class OutageList;
struct Outage;
} // namespace history

namespace history_view {

// The run's outages as a table, the newest first: start, end, duration,
// probes lost, cause. refresh() after probes were recorded inserts the new
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
        ColumnCount,
    };

    explicit OutageTableModel(const history::OutageList &outages, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void refresh();
    // Another host's outages, which must outlive the model or the next call.
    void setOutages(const history::OutageList &outages);
    // After the list was replaced rather than added to.
    void reset();

private:
    QString cellText(const history::Outage &outage, int column) const;

    const history::OutageList *m_outages;
    int m_rows = 0;
    quint64 m_dropped = 0;
    QLocale m_locale;
};

// "2027-01-15 08:00:00", the local date and time of a wall-clock time.
QString localDateTimeText(qint64 millisecondsSinceEpoch);

} // namespace history_view
