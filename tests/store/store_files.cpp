#include "store_files.h"

#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

ScratchFolder::ScratchFolder()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "echowatch-store-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("no scratch folder");
    m_path = name.data();
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

namespace {

store::Connection openToRead(const std::string &file)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadWrite, error);
    if (!connection)
        throw std::runtime_error("cannot open " + file + ": " + error);
    return std::move(*connection);
}

std::optional<std::int64_t> firstInteger(const std::string &file, const char *sql)
{
    store::Connection connection = openToRead(file);
    store::Statement statement = connection.prepare(sql);
    if (!statement.nextRow())
        throw std::runtime_error(std::string("cannot run ") + sql);
    return statement.optionalInteger(0);
}

} // namespace

std::int64_t probeCount(const std::string &file)
{
    return firstInteger(file, "SELECT count(*) FROM probes").value_or(0);
}

std::optional<std::int64_t> latestProbeTime(const std::string &file)
{
    return firstInteger(file, "SELECT max(sent_ms) FROM probe_log");
}

std::string integrityCheck(const std::string &file)
{
    store::Connection connection = openToRead(file);
    store::Statement statement = connection.prepare("PRAGMA integrity_check");
    std::string result;
    while (statement.nextRow())
        result += statement.optionalText(0).value_or("NULL");
    return result;
}

store::HostHistory everything(const std::string &file, const char *host, std::size_t probesInFull)
{
    store::Connection connection = openToRead(file);
    std::string error;
    std::optional<store::HostHistory> history = store::readHostHistory(
        connection, host, history::TimeSpan{0, std::int64_t{1} << 50}, probesInFull, error);
    if (!history)
        throw std::runtime_error("cannot read " + file + ": " + error);
    return std::move(*history);
}

store::HistoryWriter writerFor(const std::string &file, std::vector<const char *> hosts)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadWrite, error);
    if (!connection)
        throw std::runtime_error("cannot open " + file + ": " + error);
    store::HistoryWriter writer(std::move(*connection));
    if (!writer.valid())
        throw std::runtime_error("the writer does not take " + file);
    for (const char *host : hosts)
        writer.addHost(host);
    return writer;
}

store::Batch batchOf(const std::vector<history::ProbeSample> &samples, std::uint32_t host)
{
    store::Batch batch;
    for (const history::ProbeSample &sample : samples)
        batch.probes.push_back(store::QueuedProbe{host, sample});
    return batch;
}

std::function<void(const std::string &)> WarningLog::callback()
{
    return [this](const std::string &text) {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(text);
    };
}

std::vector<std::string> WarningLog::texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

std::size_t WarningLog::warningsGiven() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(
        m_texts.begin(), m_texts.end(), [](const std::string &text) { return !text.empty(); }));
}
