#include "echowatch/records/live_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class LiveLogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "echowatch-log.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { fs::remove_all(m_folder); }

    fs::path file(const char *name) const { return m_folder / name; }

    static std::string text(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

    static records::LoggedProbe probe(int second, EchoStatus status = 0)
    {
        return {"host",
                "127.0.0.1",
                1'800'000'000'000 + second * 1000,
                status,
                status == 0 ? 250 : -1,
                status == 0 ? 32 : 0};
    }

    fs::path m_folder;
};

constexpr const char *Header = "time,host,address,status,status text,rtt ms,bytes\r\n";

std::size_t lineCount(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(LiveLogTest, AppendsAfterWhatWasThereAndHeadsOnlyAnEmptyFile)
{
    {
        records::LiveLog log(file("a.csv").string(), records::LogFormat::Csv);
        EXPECT_EQ(log.append(probe(0)), 0);
        // Each line is on disk as soon as it is appended, without a flush.
        EXPECT_EQ(text(file("a.csv")).rfind(Header, 0), 0u);
        EXPECT_EQ(lineCount(text(file("a.csv"))), 2u);
    }
    records::LiveLog again(file("a.csv").string(), records::LogFormat::Csv);
    EXPECT_EQ(again.append(probe(1, 11010)), 0);
    const std::string all = text(file("a.csv"));
    EXPECT_EQ(lineCount(all), 3u);
    EXPECT_EQ(all.find(Header, 1), std::string::npos);
    EXPECT_NE(all.find(",11010,"), std::string::npos);

    records::LiveLog json(file("b.jsonl").string(), records::LogFormat::JsonLines);
    EXPECT_EQ(json.append(probe(2)), 0);
    EXPECT_EQ(text(file("b.jsonl")).rfind("{\"time\":", 0), 0u);
}

// logrotate without copytruncate: the file is renamed, an empty one made in
// its place (or none, until the next line).
TEST_F(LiveLogTest, FollowsTheRotatedPath)
{
    records::LiveLog log(file("live.csv").string(), records::LogFormat::Csv);
    ASSERT_EQ(log.append(probe(0)), 0);
    fs::rename(file("live.csv"), file("live.csv.1"));
    std::ofstream(file("live.csv")).close();
    ASSERT_EQ(log.append(probe(1)), 0);
    ASSERT_EQ(log.append(probe(2)), 0);
    fs::rename(file("live.csv"), file("live.csv.2"));
    ASSERT_EQ(log.append(probe(3)), 0);

    EXPECT_EQ(lineCount(text(file("live.csv.1"))), 2u);
    EXPECT_EQ(lineCount(text(file("live.csv.2"))), 3u);
    EXPECT_EQ(lineCount(text(file("live.csv"))), 2u);
    for (const char *name : {"live.csv", "live.csv.1", "live.csv.2"})
        EXPECT_EQ(text(file(name)).rfind(Header, 0), 0u) << name;
}

// logrotate with copytruncate: the file is copied away and emptied in
// place, the log's descriptor still open on it.
TEST_F(LiveLogTest, HeadsAFileEmptiedBehindItsBack)
{
    for (const auto format : {records::LogFormat::Csv, records::LogFormat::JsonLines}) {
        const fs::path path = file("copied.log");
        records::LiveLog log(path.string(), format);
        ASSERT_EQ(log.append(probe(0)), 0);
        ASSERT_EQ(log.append(probe(1)), 0);
        fs::resize_file(path, 0);
        ASSERT_EQ(log.append(probe(2)), 0);
        ASSERT_EQ(log.append(probe(3)), 0);
        const std::string after = text(path);
        if (format == records::LogFormat::Csv) {
            EXPECT_EQ(after.rfind(Header, 0), 0u) << after;
            EXPECT_EQ(after.find(Header, 1), std::string::npos) << after;
            EXPECT_EQ(lineCount(after), 3u) << after;
        } else {
            EXPECT_EQ(after.rfind("{\"time\":", 0), 0u) << after;
            EXPECT_EQ(lineCount(after), 2u) << after;
        }
        fs::remove(path);
    }
}

TEST_F(LiveLogTest, SaysWhyItCannotWriteAndTriesAgain)
{
    records::LiveLog missingFolder(file("none/live.csv").string(), records::LogFormat::Csv);
    EXPECT_EQ(missingFolder.append(probe(0)), ENOENT);
    fs::create_directory(file("none"));
    EXPECT_EQ(missingFolder.append(probe(1)), 0);

    // A pipe nobody reads would stall every probe; it is refused at once.
    ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0600), 0);
    records::LiveLog pipe(file("pipe").string(), records::LogFormat::Csv);
    EXPECT_NE(pipe.append(probe(0)), 0);

    records::LiveLog folder(m_folder.string(), records::LogFormat::Csv);
    EXPECT_NE(folder.append(probe(0)), 0);
    records::LiveLog device("/dev/full", records::LogFormat::JsonLines);
    EXPECT_EQ(device.append(probe(0)), EINVAL);
}

} // namespace
