#include "echowatch/history_view/history_actions.h"

#include "echowatch/history_view/csv_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"

#include "echowatch/history/history_csv.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QScreen>

namespace history_view {

HistoryActions::HistoryActions(Form1 &window, const ProbeHistory &history, HostLabel label)
    : QObject(&window), m_window(window), m_history(history), m_label(std::move(label))
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

// Opened beside the main window, so that both can be read at once.
void HistoryActions::showHistory()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(m_history, &m_window, m_label);
        connect(m_historyWindow, &HistoryWindow::traceAsked, this, &HistoryActions::traceAsked);
        placeBesideWindow();
    }
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

// A frame as thick as the main window's is assumed, as the window manager
// has not framed the new window yet.
void HistoryActions::placeBesideWindow()
{
    const QScreen *screen = m_window.screen();
    if (!screen)
        return;
    const QSize frame = m_window.frameGeometry().size() - m_window.size();
    const QRect place = besideOwner(m_window.frameGeometry(), m_historyWindow->size() + frame,
                                    screen->availableGeometry());
    m_historyWindow->resize(place.size() - frame);
    m_historyWindow->move(place.topLeft());
}

void HistoryActions::saveHistory()
{
    saveCsvFile(&m_window, tr("Save history"), QStringLiteral("echowatch-history.csv"),
                [this](std::ostream &out) {
                    history::HostName name;
                    if (m_label)
                        name = [this](const std::string &address) {
                            return m_label(QString::fromStdString(address)).toStdString();
                        };
                    history::writeProbesCsv(m_history.hosts(), out, name);
                });
}

} // namespace history_view
