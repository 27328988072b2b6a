#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace store {

class Connection;
enum class Access;

// Kept in PRAGMA user_version: a file of a later version is refused rather
// than written in a layout this program does not know.
inline constexpr int SchemaVersion = 2;
// The version the previous release wrote, which is upgraded in place.
inline constexpr int PreviousSchemaVersion = 1;

// Kept in PRAGMA application_id: "EWHF", an EchoWatch history file.
inline constexpr std::int32_t ApplicationId = 0x45574846;

// How long a statement waits for another connection's lock before it
// fails. Writers wait on threads of their own and retention hands the lock
// over between small transactions, so a wait this long is only reached
// when another program holds the file.
inline constexpr std::chrono::milliseconds LockWaitBound{10'000};

// Whether EchoWatch may write in the file: no file, an empty one, one
// marked as an EchoWatch history file of this version, or one of the
// previous release. Looked at without writing anything, so that a file
// found not to be ours is left exactly as it was; false, with the reason in
// error, otherwise and when it cannot be looked at.
bool mayWrite(const std::string &path, std::string &error);
// Whether it may be read as a history: an empty file, or one of this
// version.
bool mayRead(const std::string &path, std::string &error);

// Within one immediate transaction: creates the tables and marks in an
// empty file, upgrades a file of the previous version, or checks that the
// file is of this one. Anything else is refused with nothing written.
bool ensureSchema(Connection &connection, std::string &error);

// The tables the previous release created, as it created them.
const char *previousReleaseSchema() noexcept;

} // namespace store
