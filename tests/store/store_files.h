#pragma once

#include "echowatch/store/history_reader.h"
#include "echowatch/store/history_writer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A folder of its own for each test's history files, removed with it.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const std::string &path() const { return m_path; }
    std::string file(const char *name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The warnings an appender gave, from its own thread.
class WarningLog
{
public:
    std::function<void(const std::string &)> callback();
    std::vector<std::string> texts() const;
    // Not counting the empty text that says writing works again.
    std::size_t warningsGiven() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

// What a fresh connection finds in the file, as another window would.
std::int64_t probeCount(const std::string &file);
std::optional<std::int64_t> latestProbeTime(const std::string &file);
std::string integrityCheck(const std::string &file);
store::HostHistory everything(const std::string &file, const char *host,
                              std::size_t probesInFull = store::DefaultProbesInFull);

// A writer on the file with the hosts given, numbered in that order.
store::HistoryWriter writerFor(const std::string &file, std::vector<const char *> hosts);
store::Batch batchOf(const std::vector<history::ProbeSample> &samples, std::uint32_t host = 0);

// Polls the condition until it holds or the bound passes; true if it held.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds{20})
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
    }
    return true;
}
