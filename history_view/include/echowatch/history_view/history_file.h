#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class Form1;

namespace probe {
struct ProbeEvent;
} // namespace probe

namespace store {
class HistoryAppender;
} // namespace store

namespace history_view {

class ProbeHistory;

// Keeps every probe the window shows, and so its outages, in a history
// file, once the user asks for one (--history FILE, or the context menu's
// "Keep history in a file…"). The writing is on a thread of its own; when
// it fails the warning goes to standard error once and stays in the status
// line's tooltip until writing works again. At the first probe it keeps,
// the host's earlier runs of the last 24 hours are read from the file, off
// the window's thread, into the record the History window shows. Owned by
// the window.
class HistoryFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultKeepDays = 30;

    HistoryFile(Form1 &window, ProbeHistory &history, int keepDays);
    ~HistoryFile() override;

    // Where the file dialog proposes to keep it:
    // $XDG_DATA_HOME/echowatch/history.sqlite.
    static QString proposedPath();

    // Appends from the next probe on; a file chosen before is closed first.
    void keepIn(const QString &path);
    void chooseFile();
    // Kept with the host's outage that started then, when a file is kept.
    void notePathVerdict(std::uint32_t address, qint64 outageStart, const QString &verdict);

    QString path() const { return m_path; }
    int keepDays() const { return m_keepDays; }
    QString warning() const { return m_warning; }

signals:
    // Empty when writing works again.
    void warningChanged(const QString &text);

private:
    void appendProbe(const probe::ProbeEvent &event);
    void showWarning(const QString &text);
    void readEarlierRuns(std::uint32_t address, const std::string &host, qint64 before);

    Form1 &m_window;
    ProbeHistory &m_history;
    // The hosts whose earlier runs were read, and the latest probed, which a
    // probe never sent (no address) is counted with.
    QSet<std::uint32_t> m_earlierRead;
    std::uint32_t m_latestAddress = 0;
    const int m_keepDays;
    QString m_path;
    QString m_warning;
    std::unique_ptr<store::HistoryAppender> m_appender;
};

} // namespace history_view
