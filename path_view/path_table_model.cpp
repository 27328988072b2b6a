#include "echowatch/path_view/path_table_model.h"

#include "echowatch/net/ipv4_text.h"
#include "echowatch/path/path_verdict.h"

#include <QStringList>

#include <chrono>

namespace path_view {
namespace {

QString milliseconds(std::chrono::nanoseconds duration)
{
    return QString::number(std::chrono::duration<double, std::milli>(duration).count(), 'f', 1);
}

} // namespace

QString dottedText(std::uint32_t address)
{
    return QString::fromStdString(net::ipv4Text(address));
}

void PathTableModel::show(const path::PathTable &table)
{
    beginResetModel();
    m_table = table;
    endResetModel();
}

int PathTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_table.hops.size());
}

int PathTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PathTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() != Address)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QString PathTableModel::cellText(int row, int column) const
{
    const path::HopStats &hop = m_table.hops.at(static_cast<std::size_t>(row));
    const bool answered = hop.answered() > 0;
    switch (column) {
    case Hop:
        return QString::number(row + 1);
    case Address:
        return hop.responder != 0 ? dottedText(hop.responder) : tr("no answer");
    case Loss:
        return QString::number(hop.lossPercent(), 'f', 1);
    case Sent:
        return QString::number(hop.sent);
    case Last:
        return answered ? milliseconds(hop.last) : QString();
    case Average:
        return answered ? milliseconds(hop.average()) : QString();
    case Best:
        return answered ? milliseconds(hop.best) : QString();
    case Worst:
        return answered ? milliseconds(hop.worst) : QString();
    }
    return {};
}

QVariant PathTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Hop:
        return tr("Hop");
    case Address:
        return tr("Address");
    case Loss:
        return tr("Loss %");
    case Sent:
        return tr("Sent");
    case Last:
        return tr("Last");
    case Average:
        return tr("Avg");
    case Best:
        return tr("Best");
    case Worst:
        return tr("Worst");
    }
    return {};
}

QString PathTableModel::text() const
{
    QStringList lines;
    const auto line = [](const QStringList &cells) {
        QString text =
            cells[Hop].rightJustified(3) + QLatin1String("  ") + cells[Address].leftJustified(16);
        for (int column = Loss; column < ColumnCount; ++column)
            text += cells[column].rightJustified(8);
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text;
    };
    QStringList heading;
    for (int column = 0; column < ColumnCount; ++column)
        heading << headerData(column, Qt::Horizontal).toString();
    lines << line(heading);
    for (int row = 0; row < rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < ColumnCount; ++column)
            cells << cellText(row, column);
        lines << line(cells);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace path_view
