#pragma once

#include "echowatch/path/hop_stats.h"

#include <QAbstractTableModel>

namespace path_view {

// "192.0.2.1", an address in network byte order as dotted text.
QString dottedText(std::uint32_t address);

// The hops as mtr shows them: hop, address, loss %, sent, and the last,
// average, best and worst round trip in milliseconds. A row whose requests
// an ICMP error answered is marked beside its address as mtr and traceroute
// mark it ("!H"), and the error's time goes in a column of its own: it is
// no round trip. A row answered from several addresses shows the one that
// answered most, all of them in its tooltip.
class PathTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Hop,
        Address,
        Loss,
        Sent,
        Last,
        Average,
        Best,
        Worst,
        ErrorAfter,
        ColumnCount,
    };

    using QAbstractTableModel::QAbstractTableModel;

    void show(const path::PathTable &table);
    const path::PathTable &table() const noexcept { return m_table; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    QString cellText(int row, int column) const;
    QString rowToolTip(int row) const;
    // The whole table as aligned plain text, a heading line first.
    QString text() const;

private:
    path::PathTable m_table;
};

} // namespace path_view
