#include "echowatch/fleet/hosts_file.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fleet {

namespace {

constexpr std::string_view Blanks = " \t\r\v\f";

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

bool hostCharacter(char character)
{
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
           (character >= '0' && character <= '9') || character == '.' || character == '-' ||
           character == '_';
}

// Why the text of a line is no host, or empty when it is one.
std::string problemWith(std::string_view host)
{
    if (host.find_first_of(Blanks) != std::string_view::npos)
        return "one host per line, not '" + std::string(host) + "'";
    if (host.size() > MaximumHostLength)
        return "a host name is at most 253 characters long";
    if (!std::all_of(host.begin(), host.end(), hostCharacter))
        return "'" + std::string(host) + "' is neither a host name nor an IPv4 address";
    return {};
}

} // namespace

HostsList parseHosts(std::string_view text)
{
    HostsList list;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        std::string_view content = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        content = trimmed(content.substr(0, content.find('#')));
        if (content.empty())
            continue;
        if (std::string problem = problemWith(content); !problem.empty()) {
            list.problems.push_back({line, std::move(problem)});
            continue;
        }
        const bool seen = std::any_of(list.hosts.begin(), list.hosts.end(),
                                      [content](const HostsFileEntry &entry) {
                                          return entry.host == content;
                                      });
        if (!seen)
            list.hosts.push_back({line, std::string(content)});
    }
    return list;
}

// Read whole through one descriptor, so that a file replaced while it is
// read is read as one version or the other.
std::optional<std::string> readHostsFile(const std::string &path, std::string &error)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat status = {};
    std::string text;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "not a regular file";
    } else if (static_cast<std::size_t>(status.st_size) > MaximumHostsFileSize) {
        error = "larger than 4 MiB";
    } else {
        char buffer[65536];
        ssize_t got = 0;
        while ((got = ::read(descriptor, buffer, sizeof buffer)) > 0 &&
               text.size() <= MaximumHostsFileSize)
            text.append(buffer, static_cast<std::size_t>(got));
        if (got < 0)
            error = std::strerror(errno);
    }
    ::close(descriptor);
    if (!error.empty())
        return std::nullopt;
    return text;
}

std::optional<std::uint32_t> dottedAddress(const std::string &text)
{
    const in_addr_t address = ::inet_addr(text.c_str());
    if (address == INADDR_NONE)
        return std::nullopt;
    return address;
}

} // namespace fleet
