#pragma once

#include "probe/echo_status.h"

#include <QAbstractListModel>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <deque>

class QTime;

// One failed probe, as small as it can be: the line's text is made again
// from these whenever a line is shown.
struct FailureLogLine
{
    EchoStatus status;
    std::int32_t millisecondsOfDay;
};

// The failure log: lines of "status line - time of day", append-only. A long
// watch of a dead host at a short interval leaves millions of lines, so a
// line costs its eight bytes, not a string or an item object.
class FailureLogModel final : public QAbstractListModel
{
public:
    explicit FailureLogModel(const QLocale &locale, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Once the log holds as many lines as a list can index, the oldest are
    // kept and further failures are no longer logged.
    void append(EchoStatus status, QTime timeOfDay);

private:
    QString lineText(const FailureLogLine &line) const;

    std::deque<FailureLogLine> m_lines;
    QLocale m_locale;
    QString m_timeFormat;
};
