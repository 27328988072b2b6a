#pragma once

#include <QAbstractTableModel>
#include <QLocale>

namespace history {
class OutageList;
struct Outage;
} // namespace history

namespace history_view {

// The run's outages as a table: start, end, duration, probes lost, cause.
// refresh() after probes were recorded adds the new rows and updates the
// latest, so a reader's place in the table stays where it was.
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

private:
    QString cellText(const history::Outage &outage, int column) const;

    const history::OutageList &m_outages;
    int m_rows = 0;
    quint64 m_dropped = 0;
    QLocale m_locale;
};

// "2027-01-15 08:00:00", the local date and time of a wall-clock time.
QString localDateTimeText(qint64 millisecondsSinceEpoch);
// "4.2 s", "3 min 05 s", "2 h 03 min 05 s".
QString durationText(qint64 milliseconds);

} // namespace history_view
