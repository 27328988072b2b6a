#pragma once

#include "echowatch/probe/echo_status.h"

#include <QAbstractListModel>
#include <QLocale>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

class QTime;

namespace window {

// The failure log: lines of "status line - time of day", append-only. A long
// watch of a dead host at a short interval leaves millions of lines, so a
// line is kept in four bytes, not a string or an item object, and its text is
// made again whenever it is shown: the time of day in seconds in the low 17
// bits, and the status above it when it is one of the codes the probe
// produces (1 to 32767). Any other code is kept aside with its row, behind a
// zero, which is never logged. The date and UTC offset the text leaves out,
// for the tooltip, change seldom: they are kept once per change, with the
// first row they hold for, not per line.
class FailureLogModel final : public QAbstractListModel
{
public:
    explicit FailureLogModel(const QLocale &locale, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Once the log holds as many lines as a list can index, the oldest are
    // kept and further failures are no longer logged.
    void append(EchoStatus status, QTime timeOfDay, std::chrono::system_clock::time_point wallTime);

private:
    EchoStatus statusAt(std::size_t row) const;
    QString dateText(std::size_t row) const;
    void markDate(std::size_t row, std::chrono::system_clock::time_point wallTime);

    struct DateMark
    {
        std::size_t firstRow;
        qint64 julianDay;
        int offsetSeconds;
    };

    std::deque<std::uint32_t> m_lines;
    std::vector<DateMark> m_dates;
    qint64 m_markedMinute = -1;
    std::vector<std::pair<std::size_t, EchoStatus>> m_uncommonStatuses;
    QLocale m_locale;
    QString m_timeFormat;
};

} // namespace window
