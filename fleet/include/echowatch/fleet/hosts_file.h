#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fleet {

// A hosts file: one host per line, a name or an IPv4 address as the
// window's command line takes them; '#' starts a comment that runs to the
// end of its line; blank lines and blanks around a host are passed over.
struct HostsFileEntry
{
    int line = 0;
    std::string host;
};

struct HostsFileProblem
{
    int line = 0;
    std::string message;
};

struct HostsList
{
    // In the file's order, each text once.
    std::vector<HostsFileEntry> hosts;
    std::vector<HostsFileProblem> problems;
};

// Larger files are refused rather than read: a list of that size is a
// mistake (a log named instead of the list), not hosts to watch.
inline constexpr std::size_t MaximumHostsFileSize = 4 << 20;
// Longest name a resolver takes.
inline constexpr std::size_t MaximumHostLength = 253;

HostsList parseHosts(std::string_view text);

// The file's text, or nothing with why in error (the system's words).
std::optional<std::string> readHostsFile(const std::string &path, std::string &error);

// Text of digits and dots is an address, however it is written, read as
// the address box reads it ("127.1" is 127.0.0.1): network byte order, or
// nothing for text that is no address (255.255.255.255 among them, which
// the box refuses too).
std::optional<std::uint32_t> dottedAddress(const std::string &text);

} // namespace fleet
