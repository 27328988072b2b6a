#include "echowatch/path_view/path_table_model.h"

#include "echowatch/path/message_words.h"
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

QString addressText(const path::HopStats &hop)
{
    if (const path::HopResponder *sender = hop.lastErrorSender())
        return dottedText(sender->address) + QLatin1Char(' ') +
               QString::fromStdString(path::errorMark(sender->lastError));
    return hop.responder() != 0 ? dottedText(hop.responder()) : PathTableModel::tr("no answer");
}

// "192.0.2.1: 3 answers", "198.51.100.2: 1 answer, 2 errors, the last host
// unreachable (!H)"
QString responderLine(const path::HopResponder &responder)
{
    QStringList counts;
    if (responder.answers > 0)
        counts << (responder.answers == 1 ? PathTableModel::tr("1 answer")
                                          : PathTableModel::tr("%1 answers").arg(responder.answers));
    if (responder.errors > 0)
        counts << (responder.errors == 1 ? PathTableModel::tr("1 error")
                                         : PathTableModel::tr("%1 errors").arg(responder.errors))
               << PathTableModel::tr("the last %1 (%2)")
                      .arg(QString::fromStdString(path::errorName(responder.lastError)),
                           QString::fromStdString(path::errorMark(responder.lastError)));
    return dottedText(responder.address) + QLatin1String(": ") +
           counts.join(QLatin1String(", "));
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
    if (role == Qt::ToolTipRole)
        return rowToolTip(index.row());
    if (role == Qt::TextAlignmentRole && index.column() != Address)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QString PathTableModel::cellText(int row, int column) const
{
    const path::HopStats &hop = m_table.hops.at(static_cast<std::size_t>(row));
    const bool answered = hop.roundTrips > 0;
    switch (column) {
    case Hop:
        return QString::number(row + 1);
    case Address:
        return addressText(hop);
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
    case ErrorAfter:
        return hop.errors > 0 ? milliseconds(hop.lastErrorAfter) : QString();
    }
    return {};
}

// Every address that answered at this TTL, and what an error row means.
QString PathTableModel::rowToolTip(int row) const
{
    const path::HopStats &hop = m_table.hops.at(static_cast<std::size_t>(row));
    QStringList lines;
    for (const path::HopResponder &responder : hop.responders)
        lines << responderLine(responder);
    if (hop.errors > 0)
        lines << tr("Errors came %1 to %2 ms after their requests: they are not round trips.")
                     .arg(milliseconds(hop.bestErrorAfter), milliseconds(hop.worstErrorAfter));
    if (lines.isEmpty())
        lines << tr("Nothing answered the requests to this hop.");
    return lines.join(QLatin1Char('\n'));
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
    case ErrorAfter:
        return tr("Error after");
    }
    return {};
}

QString PathTableModel::text() const
{
    QStringList lines;
    const auto line = [](const QStringList &cells) {
        QString text =
            cells[Hop].rightJustified(3) + QLatin1String("  ") + cells[Address].leftJustified(20);
        for (int column = Loss; column < ColumnCount; ++column)
            text += cells[column].rightJustified(column == ErrorAfter ? 12 : 8);
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
