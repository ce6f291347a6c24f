#pragma once
// Which file a path names, whatever name reached it: device and inode on
// POSIX, volume serial number and file index on Windows. Two paths name the
// same file when their identities are equal, so hard links, symbolic links
// and names that differ only in case on a case-insensitive folder are caught.
#include <cstdint>
#include <optional>
#include <string>

namespace isorelink::platform {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file path names (links followed), or nothing when it
// does not exist or cannot be examined.
std::optional<FileIdentity> file_identity(const std::string& path);

// True when both paths exist and name the same file.
bool same_file(const std::string& a, const std::string& b);

// When the file's inode last changed (its bytes, its times or its links), in
// nanoseconds since 1970 UTC, links followed: unlike the modification time,
// no tool can set it back. Nothing when it cannot be read.
std::optional<std::int64_t> change_time(const std::string& path);

// What one look at a file tells, enough to see whether anything wrote to it:
// its size, its modification time in std::filesystem's ticks (as
// last_write_time counts them), its change time as above (0 when the file
// system keeps none) and its identity. Links followed; nothing when the path
// names no file that can be examined.
struct FileState {
    bool regular = false;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::int64_t changed = 0;
    FileIdentity identity;
};
std::optional<FileState> file_state(const std::string& path);

} // namespace isorelink::platform
