#pragma once
// The status file: 2049 bytes, a flag byte (0 = no error, 1 = the job
// failed) and a 2048-byte message field, zero-padded after its text.
#include <cstddef>
#include <string>
#include <string_view>

namespace isorelink {

inline constexpr std::size_t kStatusFlagSize = 1;
inline constexpr std::size_t kStatusMessageSize = 2048;
inline constexpr std::size_t kStatusFileSize = kStatusFlagSize + kStatusMessageSize;

// Creates the folders along the path, then writes flag 0 and 2048 zeros.
// A status file that cannot be created is no reason to stop a job.
void reset_status_file(const std::string& path);

// Writes flag 1 and the message (cut to 2047 characters, so its terminator
// always fits), zero-padded to 2048 bytes.
void report_failure(const std::string& path, std::string_view message);

} // namespace isorelink
