#pragma once

#include <chrono>
#include <string>

namespace store {

class Connection;
enum class Access;

// Kept in PRAGMA user_version: a file of a later version is refused rather
// than written in a layout this program does not know.
inline constexpr int SchemaVersion = 1;

// How long a write waits for another process's lock before it fails.
inline constexpr std::chrono::milliseconds LockWaitBound{2000};

// Creates the tables in an empty file, or checks that the file has them.
bool ensureSchema(Connection &connection, Access access, std::string &error);

} // namespace store
