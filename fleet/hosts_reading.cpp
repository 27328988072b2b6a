#include "echowatch/fleet/hosts_reading.h"

#include "echowatch/fleet/hosts_file.h"
#include "echowatch/records/host_resolution.h"

namespace fleet {

namespace {

// Where a host's text came from, for the problems it makes.
struct Source
{
    std::string text;
    std::string place; // "FILE:LINE" or the text itself
};

std::vector<Source> gather(const std::vector<std::string> &given,
                           const std::optional<std::string> &hostsFile, HostsReading &reading)
{
    std::vector<Source> sources;
    for (const std::string &text : given)
        sources.push_back({text, text});
    if (!hostsFile)
        return sources;
    std::string error;
    const std::optional<std::string> text = readHostsFile(*hostsFile, error);
    if (!text) {
        reading.problems.push_back(*hostsFile + ": " + error);
        return sources;
    }
    const HostsList list = parseHosts(*text);
    for (const HostsFileProblem &problem : list.problems)
        reading.problems.push_back(*hostsFile + ":" + std::to_string(problem.line) + ": " +
                                   problem.message);
    for (const HostsFileEntry &entry : list.hosts)
        sources.push_back({entry.host, *hostsFile + ":" + std::to_string(entry.line)});
    return sources;
}

void makeAddress(const Source &source, const NameResolver &resolve, HostsReading &reading)
{
    std::string error;
    std::optional<std::uint32_t> address;
    if (records::looksLikeAddress(source.text)) {
        address = dottedAddress(source.text);
        error = "no IPv4 address";
    } else {
        address = resolve(source.text, error);
        if (!address)
            reading.unresolved.push_back(source.text);
    }
    if (address)
        reading.hosts.push_back({source.text, *address});
    else if (source.place == source.text)
        reading.problems.push_back(source.text + ": " + error);
    else
        reading.problems.push_back(source.place + ": " + source.text + ": " + error);
}

} // namespace

HostsReading readHosts(const std::vector<std::string> &given,
                       const std::optional<std::string> &hostsFile, const NameResolver &resolve)
{
    HostsReading reading;
    for (const Source &source : gather(given, hostsFile, reading))
        makeAddress(source, resolve, reading);
    return reading;
}

} // namespace fleet
