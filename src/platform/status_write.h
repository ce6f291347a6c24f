#pragma once
// Writing the status file. It lives in a folder everyone may write to (the
// temporary folder), so on POSIX it is written without following a symbolic
// link and only when it is a regular file with a single link owned by the
// calling user; a new one is created with mode 0600. Anything else is left
// untouched and reported unsafe. Windows writes it as a plain file.
#include <cstddef>
#include <span>
#include <string>

namespace isorelink::platform {

enum class StatusWrite {
    Written,
    CannotCreate,  // the folder or the file cannot be opened for writing
    Unsafe,        // something other than our own regular file sits at the path
};

struct StatusWriteResult {
    StatusWrite outcome = StatusWrite::Written;
    std::string reason;  // for Unsafe: what was found ("a symbolic link", ...)
};

// Replaces the file's content with bytes.
StatusWriteResult write_status_bytes(const std::string& path, std::span<const std::byte> bytes);

} // namespace isorelink::platform
