#include "echowatch/window/log_actions.h"

#include "echowatch/window/form1.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>

#include <algorithm>

namespace window {

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

LogActions::LogActions(Form1 &window) : QObject(&window), m_log(*window.List1)
{
    setObjectName(QStringLiteral("LogActions"));
    followWhenAsked(window);
    auto *copy = new QAction(tr("Copy log"), this);
    window.addContextAction(MenuSection::Log, copy);
    connect(copy, &QAction::triggered, this, &LogActions::copyLog);
    copyOnShortcut();
}

// Off until the user picks it: the log as first drawn never scrolls itself.
void LogActions::followWhenAsked(Form1 &window)
{
    m_followNewLines = new QAction(tr("Follow new lines"), this);
    m_followNewLines->setCheckable(true);
    window.addContextAction(MenuSection::Log, m_followNewLines);
    QListView *list = &m_log;
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, [this, list] {
        if (m_followNewLines->isChecked())
            list->scrollToBottom();
    });
    connect(m_followNewLines, &QAction::toggled, list, [list](bool on) {
        if (on)
            list->scrollToBottom();
    });
}

void LogActions::copyOnShortcut()
{
    auto *copy = new QAction(tr("Copy"), &m_log);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    m_log.addAction(copy);
    connect(copy, &QAction::triggered, this, &LogActions::copySelectedLines);
}

void LogActions::copyLog() const
{
    const QAbstractItemModel &log = *m_log.model();
    QList<int> rows;
    for (int row = 0; row < log.rowCount(); ++row)
        rows += row;
    QGuiApplication::clipboard()->setText(linesOf(log, rows));
}

void LogActions::copySelectedLines() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_log.selectionModel()->selectedIndexes())
        rows += index.row();
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(linesOf(*m_log.model(), rows));
}

} // namespace window
