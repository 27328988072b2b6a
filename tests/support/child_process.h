#pragma once

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

// Runs test work in a forked child, for what must not touch the test
// process itself: a new network namespace, a dropped privilege, a lowered
// descriptor limit. The child's result comes back through a pipe.
namespace childprocess {

// Returns the bytes the child wrote, or nothing if it died or wrote
// nothing; failure explains why.
std::optional<std::string> run(const std::function<std::string()> &work, std::string &failure);

template <class Result>
std::optional<Result> runFor(const std::function<Result()> &work, std::string &failure)
{
    static_assert(std::is_trivially_copyable_v<Result>);
    const auto bytes = run(
        [&] {
            const Result result = work();
            return std::string(reinterpret_cast<const char *>(&result), sizeof result);
        },
        failure);
    if (!bytes || bytes->size() != sizeof(Result))
        return std::nullopt;
    Result result;
    std::memcpy(&result, bytes->data(), sizeof result);
    return result;
}

// For use inside a child: a network namespace of its own with loopback up
// and ping sockets open to pingGroups (e.g. "0 2147483647", or "1 0" to
// close them). Returns an error text, empty on success.
std::string enterNetworkNamespace(const char *pingGroups);

// Runs a shell command in the child's current namespace; false on failure.
bool shell(const std::string &command);

bool isRoot();

} // namespace childprocess
