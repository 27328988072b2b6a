#pragma once

#include "echowatch/host/host_events.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class Form1;

namespace host {
class HostEventSignals;
} // namespace host

namespace history_view {

class HistoryRecorder;
class ProbeHistory;

// Keeps every probe the window shows, and so its outages, each watch of a
// host, the verdicts filed with its outages and its slow periods, in a history file, once the
// user asks for one (--history FILE, or the context menu's "Keep history in
// a file…"), all as the host monitor tells them (HistoryRecorder writes
// it). The writing is on a thread of its own; when it fails the warning
// goes to standard error once and stays in the status line's tooltip until
// writing works again. At the
// first probe of a host it keeps, the host's earlier runs of the last 24
// hours (all from before this program watched it) are read from the file,
// off the window's thread, into the record the History window shows; once
// per host, whichever file is chosen after. Owned by the window.
class HistoryFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultKeepDays = 30;

    // events must outlive the window.
    HistoryFile(Form1 &window, const host::HostEventSignals &events, ProbeHistory &history,
                int keepDays);
    ~HistoryFile() override;

    // Where the file dialog proposes to keep it:
    // $XDG_DATA_HOME/echowatch/history.sqlite.
    static QString proposedPath();

    // Appends from the next probe on; a file chosen before is closed first.
    void keepIn(const QString &path);
    void chooseFile();

    QString path() const;
    int keepDays() const;
    QString warning() const;

    // What the file held of a host before this program watched it.
    struct EarlierRuns;

signals:
    // Empty when writing works again.
    void warningChanged(const QString &text);
    // After a host's earlier runs were read and merged (none, maybe), in
    // the order the hosts were first probed.
    void earlierRunsRead(quint32 address);

private:
    void noteProbe(const host::ProbeTaken &taken);
    void showWarning(const QString &text);
    void readEarlierRuns(std::uint32_t address, const std::string &host, qint64 before);
    void mergeEarlierRuns(std::uint32_t address, const EarlierRuns &earlier);

    Form1 &m_window;
    ProbeHistory &m_history;
    // The hosts whose earlier runs were read, whatever file they were read
    // from: a file chosen again holds this run's own probes too.
    QSet<std::uint32_t> m_earlierRead;
    // When this program began watching each host (or, unwatched, probing
    // it): what the file holds from before that is an earlier run.
    std::map<std::uint32_t, host::Milliseconds> m_firstSeen;
    HistoryRecorder *m_recorder;
    // Earlier runs are read here, off the window's thread, one at a time.
    QThread m_reader;
    QObject *m_readerContext;
};

} // namespace history_view
