#pragma once
// The status file: 2049 bytes, a flag byte (0 = no error, 1 = the job
// failed) and a 2048-byte message field, zero-padded after its text.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status_write.h"

namespace isorelink {

inline constexpr std::size_t kStatusFlagSize = 1;
inline constexpr std::size_t kStatusMessageSize = 2048;
inline constexpr std::size_t kStatusFileSize = kStatusFlagSize + kStatusMessageSize;

// Creates the folders along the path, then writes flag 0 and 2048 zeros.
// A status file that cannot be created is no reason to stop a job; one that
// is unsafe to write (a planted link, another user's file) is: the caller
// does not run the job, and the file is left as it was.
platform::StatusWriteResult reset_status_file(const std::string& path);

// Writes flag 1 and the message (cut to 2047 characters, so its terminator
// always fits), zero-padded to 2048 bytes, under the same safety rules.
void report_failure(const std::string& path, std::string_view message);

} // namespace isorelink
