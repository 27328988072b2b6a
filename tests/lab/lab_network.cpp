#include "lab_network.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <memory>

namespace lab {
namespace {

struct Prefix
{
    std::uint32_t network; // host byte order
    int length;
};

std::optional<Prefix> parsePrefix(std::string_view text)
{
    const auto slash = text.find('/');
    int length = 32;
    if (slash != std::string_view::npos) {
        const auto digits = text.substr(slash + 1);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), length);
        if (error != std::errc{} || end != digits.data() + digits.size() || length < 0 ||
            length > 32)
            return std::nullopt;
    }
    in_addr address{};
    if (::inet_pton(AF_INET, std::string(text.substr(0, slash)).c_str(), &address) != 1)
        return std::nullopt;
    return Prefix{ntohl(address.s_addr), length};
}

bool contains(const Prefix &outer, const Prefix &inner)
{
    if (inner.length < outer.length)
        return false;
    const std::uint32_t mask = outer.length == 0 ? 0 : ~std::uint32_t{0} << (32 - outer.length);
    return (inner.network & mask) == (outer.network & mask);
}

} // namespace

bool insideLab(std::string_view addressOrPrefix)
{
    const auto inner = parsePrefix(addressOrPrefix);
    if (!inner)
        return false;
    for (const auto labPrefix : LabPrefixes)
        if (contains(*parsePrefix(labPrefix), *inner))
            return true;
    return false;
}

std::optional<std::string> currentLab()
{
    std::string name = commandOutput("ip netns identify 2>/dev/null");
    while (!name.empty() && (name.back() == '\n' || name.back() == ' '))
        name.pop_back();
    constexpr std::string_view suffix = "-client";
    if (!name.starts_with("ewlab-") || !name.ends_with(suffix))
        return std::nullopt;
    return name.substr(0, name.size() - suffix.size());
}

std::string labNamespace(const std::string &lab, std::string_view role)
{
    return lab + "-" + std::string(role);
}

std::string commandOutput(const std::string &command)
{
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    if (!pipe)
        return output;
    char chunk[4096];
    for (std::size_t read; (read = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;)
        output.append(chunk, read);
    return output;
}

} // namespace lab
