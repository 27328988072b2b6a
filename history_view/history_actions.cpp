#include "echowatch/history_view/history_actions.h"

#include "echowatch/history_view/csv_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"

#include "echowatch/history/history_csv.h"
#include "echowatch/window/form1.h"

#include <QAction>

namespace history_view {

HistoryActions::HistoryActions(Form1 &window, const ProbeHistory &history)
    : QObject(&window), m_window(window), m_history(history)
{
    setObjectName(QStringLiteral("HistoryActions"));
    auto *show = new QAction(tr("History"), this);
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    show->setShortcutContext(Qt::WindowShortcut);
    window.addContextAction(window::MenuSection::Views, show);
    // Shortcuts of menu actions work only while the menu is open, unless the
    // window holds the action too.
    window.addAction(show);
    connect(show, &QAction::triggered, this, &HistoryActions::showHistory);

    auto *save = new QAction(tr("Save history…"), this);
    window.addContextAction(window::MenuSection::Files, save);
    connect(save, &QAction::triggered, this, &HistoryActions::saveHistory);
}

void HistoryActions::showHistory()
{
    if (!m_historyWindow)
        m_historyWindow = new HistoryWindow(m_history, &m_window);
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void HistoryActions::saveHistory()
{
    saveCsvFile(&m_window, tr("Save history"), QStringLiteral("echowatch-history.csv"),
                [this](std::ostream &out) { history::writeProbesCsv(m_history.record(), out); });
}

} // namespace history_view
