#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace isorelink {

// The longest text our 2048-byte buffers hold: 2047 characters and a zero.
inline constexpr std::size_t kMaxText = 2047;

// A failure the host sees: the coded message, byte for byte as it goes into
// the status file ("Code 101e - Error Opening C:\ISO\GAME.ISO").
struct JobError {
    std::string message;
};

// Fills the one "%s" of a message template with a path (or any text) and
// cuts the result to kMaxText characters so its terminator always fits.
// A template without "%s" is used as it stands.
JobError job_error(std::string_view message_template, std::string_view argument = {});

// Same, for the 1106 family: "... %s (REASON)".
JobError structure_error(std::string_view image_path, std::string_view reason);

} // namespace isorelink
