// The hosts file as written by hand, the hosts it comes to, and the watched
// set that a reread changes.
#include "echowatch/fleet/host_set.h"
#include "echowatch/fleet/hosts_file.h"
#include "echowatch/fleet/hosts_reading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

namespace {

using fleet::HostSet;
using fleet::WatchedHost;

std::vector<std::string> hostsOf(const fleet::HostsList &list)
{
    std::vector<std::string> hosts;
    for (const auto &entry : list.hosts)
        hosts.push_back(entry.host);
    return hosts;
}

struct ParseCase
{
    const char *name;
    std::string text;
    std::vector<std::string> hosts;
    std::vector<int> problemLines;
};

class HostsFileParse : public testing::TestWithParam<ParseCase>
{};

TEST_P(HostsFileParse, ReadsOneHostALine)
{
    const ParseCase &given = GetParam();
    const fleet::HostsList list = fleet::parseHosts(given.text);
    EXPECT_EQ(hostsOf(list), given.hosts);
    std::vector<int> lines;
    for (const auto &problem : list.problems)
        lines.push_back(problem.line);
    EXPECT_EQ(lines, given.problemLines);
}

INSTANTIATE_TEST_SUITE_P(
    Fleet, HostsFileParse,
    testing::Values(
        ParseCase{"empty", "", {}, {}},
        ParseCase{"comments_and_blanks", "# hosts\n\n   \n\t# more\n", {}, {}},
        ParseCase{"names_and_addresses", "192.0.2.1\nrouter.lan\n127.1\n",
                  {"192.0.2.1", "router.lan", "127.1"}, {}},
        ParseCase{"comment_after_host", "192.0.2.1   # the gateway\n", {"192.0.2.1"}, {}},
        ParseCase{"blanks_around_and_crlf", "  192.0.2.1\t\r\nhost-2_b \r\n",
                  {"192.0.2.1", "host-2_b"}, {}},
        ParseCase{"no_end_of_line", "a.example", {"a.example"}, {}},
        ParseCase{"each_text_once", "a\nb\na\n", {"a", "b"}, {}},
        ParseCase{"two_on_a_line", "a b\nc\n", {"c"}, {1}},
        ParseCase{"not_a_host", "http://a/\nb;rm\nc\n", {"c"}, {1, 2}},
        ParseCase{"too_long", std::string(254, 'a') + "\nb\n", {"b"}, {1}}),
    [](const auto &info) { return std::string(info.param.name); });

struct AddressCase
{
    const char *text;
    std::optional<std::uint32_t> address; // network order
};

TEST(HostsFile, DigitsAndDotsAreReadAsTheAddressBoxReadsThem)
{
    const AddressCase cases[] = {
        {"127.0.0.1", 0x0100007f}, {"127.1", 0x0100007f},   {"1", 0x01000000},
        {"0.0.0.0", 0},            {"255.255.255.255", {}}, {"1.2.3.4.5", {}},
        {"300.1.1.1", {}},
    };
    for (const AddressCase &given : cases)
        EXPECT_EQ(fleet::dottedAddress(given.text), given.address) << given.text;
}

TEST(HostsFile, AFileThatCannotBeReadSaysWhy)
{
    std::string error;
    EXPECT_FALSE(fleet::readHostsFile("/nonexistent/hosts", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(fleet::readHostsFile("/", error));
    EXPECT_EQ(error, "not a regular file");
}

// A resolver over a table: names it lacks do not resolve.
fleet::NameResolver tableResolver(std::map<std::string, std::uint32_t> table)
{
    return [table](const std::string &name, std::string &error) -> std::optional<std::uint32_t> {
        const auto found = table.find(name);
        if (found != table.end())
            return found->second;
        error = "Name or service not known";
        return std::nullopt;
    };
}

TEST(HostsReading, GivenHostsComeFirstThenTheFilesWithEachProblemPlaced)
{
    const std::string path = testing::TempDir() + "fleet_hosts_reading";
    std::ofstream(path) << "# lab\nrouter.lab\nnosuch.lab\n10.0.0.256\nbad host\n";
    const fleet::HostsReading reading =
        fleet::readHosts({"127.0.0.2", "web.lab"}, path,
                         tableResolver({{"router.lab", 0x01020304}, {"web.lab", 0x05060708}}));
    EXPECT_EQ(reading.hosts, (std::vector<WatchedHost>{{"127.0.0.2", 0x0200007f},
                                                        {"web.lab", 0x05060708},
                                                        {"router.lab", 0x01020304}}));
    EXPECT_EQ(reading.problems,
              (std::vector<std::string>{
                  path + ":5: one host per line, not 'bad host'",
                  path + ":3: nosuch.lab: Name or service not known",
                  path + ":4: 10.0.0.256: no IPv4 address"}));
    EXPECT_EQ(reading.unresolved, std::vector<std::string>{"nosuch.lab"});
    std::remove(path.c_str());
}

TEST(HostsReading, AMissingFileIsOneProblem)
{
    const fleet::HostsReading reading =
        fleet::readHosts({}, std::string("/nonexistent/hosts"), tableResolver({}));
    EXPECT_TRUE(reading.hosts.empty());
    EXPECT_EQ(reading.problems,
              std::vector<std::string>{"/nonexistent/hosts: No such file or directory"});
}

TEST(HostSet, AReadingAddsWhatIsNewRemovesWhatIsGoneAndKeepsTheRest)
{
    HostSet set;
    const auto first = set.replace({{"a", 1}, {"b", 2}, {"c", 3}});
    ASSERT_EQ(first.added.size(), 3u);
    const auto keyOfB = first.added[1].first;
    const auto second = set.replace({{"b", 2}, {"c", 30}, {"d", 4}});
    std::vector<std::string> removed, added;
    for (const auto &[key, host] : second.removed)
        removed.push_back(host.label);
    for (const auto &[key, host] : second.added)
        added.push_back(host.label);
    EXPECT_EQ(removed, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(added, (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(set.hosts().size(), 3u);
    EXPECT_EQ(set.hosts().at(keyOfB), (WatchedHost{"b", 2}));
}

TEST(HostSet, TwoTextsAtOneAddressAreOneHostUnderTheFirst)
{
    HostSet set;
    const auto change = set.replace({{"gw.lab", 7}, {"192.0.2.1", 7}, {"gw.lab", 7}});
    ASSERT_EQ(change.added.size(), 1u);
    EXPECT_EQ(change.added[0].second.label, "gw.lab");
    EXPECT_EQ(change.sameAddress,
              (std::vector<std::pair<std::string, std::string>>{{"192.0.2.1", "gw.lab"}}));
}

TEST(HostSet, AnEmptyReadingEndsEveryWatch)
{
    HostSet set;
    set.replace({{"a", 1}, {"b", 2}});
    EXPECT_EQ(set.replace({}).removed.size(), 2u);
    EXPECT_TRUE(set.hosts().empty());
}

} // namespace
