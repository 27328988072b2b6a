#include "echowatch/monitor/history_actions.h"

#include "echowatch/monitor/csv_file.h"
#include "echowatch/monitor/form1.h"
#include "echowatch/monitor/history_window.h"

#include "echowatch/history/history_csv.h"
#include "echowatch/probe/probe_details.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>

#include <algorithm>
#include <chrono>

namespace {

QString linesOf(const QAbstractItemModel &model, QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows)
        lines += model.data(model.index(row, 0)).toString();
    return lines.join(QLatin1Char('\n'));
}

} // namespace

HistoryActions::HistoryActions(Form1 &window) : QObject(&window), m_window(window)
{
    setObjectName(QStringLiteral("HistoryActions"));
    connect(&window, &Form1::probeShown, this, &HistoryActions::recordProbe);

    QAction *history = addMenuAction(tr("History"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    history->setShortcutContext(Qt::WindowShortcut);
    // Shortcuts of menu actions work only while the menu is open, unless the
    // window holds the action too.
    window.addAction(history);
    connect(history, &QAction::triggered, this, &HistoryActions::showHistory);

    followLogWhenAsked();
    connect(addMenuAction(tr("Copy log")), &QAction::triggered, this, &HistoryActions::copyLog);
    connect(addMenuAction(tr("Save history…")), &QAction::triggered, this,
            &HistoryActions::saveHistory);
    copyLogOnShortcut();
}

QAction *HistoryActions::addMenuAction(const QString &caption)
{
    return m_window.contextMenu()->addAction(caption);
}

// Off until the user picks it: the log as specified never scrolls itself.
void HistoryActions::followLogWhenAsked()
{
    m_followNewLines = addMenuAction(tr("Follow new lines"));
    m_followNewLines->setCheckable(true);
    QListView *list = m_window.List1;
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, [this, list] {
        if (m_followNewLines->isChecked())
            list->scrollToBottom();
    });
    connect(m_followNewLines, &QAction::toggled, list, [list](bool on) {
        if (on)
            list->scrollToBottom();
    });
}

void HistoryActions::copyLogOnShortcut()
{
    auto *copy = new QAction(tr("Copy"), m_window.List1);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    m_window.List1->addAction(copy);
    connect(copy, &QAction::triggered, this, &HistoryActions::copySelectedLogLines);
}

void HistoryActions::recordProbe(const probe::ProbeEvent &event)
{
    using namespace std::chrono;
    const auto sentAt = duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    m_record.record(history::ProbeSample(sentAt, event.status, event.details.roundTripMicroseconds,
                                         event.replySize));
    emit recorded();
}

void HistoryActions::showHistory()
{
    if (!m_historyWindow)
        m_historyWindow = new HistoryWindow(*this, &m_window);
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void HistoryActions::copyLog() const
{
    const QAbstractItemModel &log = *m_window.List1->model();
    QList<int> rows;
    for (int row = 0; row < log.rowCount(); ++row)
        rows += row;
    QGuiApplication::clipboard()->setText(linesOf(log, rows));
}

void HistoryActions::copySelectedLogLines() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_window.List1->selectionModel()->selectedIndexes())
        rows += index.row();
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(linesOf(*m_window.List1->model(), rows));
}

void HistoryActions::saveHistory()
{
    saveCsvFile(&m_window, tr("Save history"), QStringLiteral("echowatch-history.csv"),
                [this](std::ostream &out) { history::writeProbesCsv(m_record, out); });
}
