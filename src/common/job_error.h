#pragma once
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace isorelink {

// The longest text our 2048-byte buffers hold: 2047 characters and a zero.
inline constexpr std::size_t kMaxText = 2047;

// What went wrong, for whoever decides what to do next: a command line picks
// its advice and exit code by it; the status file shows only the text.
enum class ErrorKind {
    BadInput,  // what the caller gave us: no image named, a bad relink line, an over-long name
    BadImage,  // the image is not one we can read: header, volume structure, partition
    Io,        // a file could not be opened, read or written
    Internal,  // a fault of ours
};

std::string_view to_string(ErrorKind kind);

// A message template of messages.h: its kind and its text, in which each
// "%s" is filled with one argument in turn.
struct Message {
    ErrorKind kind;
    std::string_view text;
};

// A failure: its kind and the message, byte for byte as it goes into the
// status file ("Code 101e - Error Opening C:\ISO\GAME.ISO").
struct JobError {
    ErrorKind kind = ErrorKind::Internal;
    std::string message;
};

// Fills the "%s" holes of a message in order (a hole without an argument
// stays empty; an argument without a hole is dropped) and cuts the result to
// kMaxText characters so its terminator always fits.
JobError job_error(const Message& message, std::string_view argument = {});
JobError job_error(const Message& message, std::initializer_list<std::string_view> arguments);

// The 1106 family: "... PATH (REASON)", cutting the path rather than the reason.
JobError structure_error(std::string_view image_path, std::string_view reason);

// A failure of a lower step, told in the words of the step above:
// "replace: " + the lower message, keeping the lower kind.
JobError with_prefix(std::string_view prefix, const JobError& error);

} // namespace isorelink
