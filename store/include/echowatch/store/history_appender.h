#pragma once

#include "echowatch/history/probe_sample.h"
#include "echowatch/store/history_writer.h"
#include "echowatch/store/retention.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace store {

struct AppenderOptions
{
    std::string path;
    RetentionPolicy retention;
    // Twice a second: with the commit's own time, a power cut loses at most
    // the last second.
    std::chrono::milliseconds commitInterval{500};
    // Called on the writing thread when writing starts to fail, with the
    // text to show, and with an empty text when it works again.
    std::function<void(const std::string &)> onWarning;
};

// Appends the probes a window shows to a history file without the window
// ever waiting for the disk: append() queues, and a thread of its own
// commits what is queued in one transaction per interval and applies the
// retention once an hour. A write that fails is kept queued and tried again
// at the next interval (up to MaximumQueued probes), so a disk that fills
// and is freed again loses nothing.
class HistoryAppender
{
public:
    static constexpr std::size_t MaximumQueued = 600'000;

    explicit HistoryAppender(AppenderOptions options);
    // Commits what is queued, then ends the writing thread: waits for that
    // commit, up to the lock wait. A window closes with closeInBackground.
    ~HistoryAppender();

    // Hands the last commit to the appender's own thread and returns at
    // once: a window that closes or switches files never waits for the
    // disk. The appender ends itself once that commit is written (or has
    // failed); from now on its warnings are not reported, its reader being
    // gone.
    static void closeInBackground(std::unique_ptr<HistoryAppender> appender);
    // At the program's exit: waits for the appenders closed in the
    // background to end, at most the bound; true when they all did.
    static bool waitForClosed(std::chrono::milliseconds bound);
    HistoryAppender(const HistoryAppender &) = delete;
    HistoryAppender &operator=(const HistoryAppender &) = delete;

    void append(std::string_view host, const history::ProbeSample &sample);
    // Somebody watches the host from then on; a watch under way goes on. A
    // probe appended outside any watch starts one at its send time.
    void startWatch(std::string_view host, Milliseconds at);
    // Nobody watches it from then on: an outage open in the file then ends
    // there as not watched, never as up. Queued in order with the probes.
    void endWatch(std::string_view host, Milliseconds at, WatchEndReason why);
    // What the path to the host showed in the outage that started then,
    // and whose side it was on ("the host", ...; empty: not found).
    void notePathVerdict(std::string_view host, Milliseconds outageStart, std::string verdict,
                         std::string side = {});
    // The host was slow from `start`, as `figures` tell (written as they
    // are), and until `end` once that is known: the same period noted
    // again with its end.
    void noteSlowPeriod(std::string_view host, Milliseconds start, std::optional<Milliseconds> end,
                        std::string figures);

    // Empty while writing works.
    std::string warning() const;
    std::uint64_t storedProbes() const noexcept { return m_stored; }
    std::uint64_t droppedProbes() const noexcept { return m_dropped; }
    std::uint64_t commits() const noexcept { return m_commits; }

private:
    class Closing;
    void stop(bool silently);
    std::uint32_t hostNumber(std::string_view host);
    void writeLoop();
    void commit(std::optional<HistoryWriter> &writer, Batch &batch, bool last);
    bool openWriter(std::optional<HistoryWriter> &writer);
    void retain(HistoryWriter &writer);
    void report(const std::string &problem);

    const AppenderOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    // Held while a warning is reported; once m_silent is set under it, none
    // is: nobody is there to read it.
    std::mutex m_reporting;
    bool m_silent = false;
    // Set by the writing thread as its last act, under the lock of the
    // appenders closing.
    bool m_finished = false;
    Batch m_queued;
    std::vector<std::string> m_hosts;
    std::size_t m_hostsGiven = 0;
    std::string m_warning;

    std::uint32_t m_lastHost = 0;
    // Only the writing thread reads and writes this.
    std::optional<std::chrono::steady_clock::time_point> m_retainedAt;

    std::atomic<std::uint64_t> m_stored{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_commits{0};
    std::thread m_thread;
};

} // namespace store
