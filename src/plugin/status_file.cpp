#include "plugin/status_file.h"

#include <array>
#include <cstring>

#include "common/job_error.h"
#include "platform/folders.h"

namespace isorelink {

namespace {
platform::StatusWriteResult write_status(const std::string& path, std::byte flag, std::string_view message) {
    std::array<std::byte, kStatusFileSize> bytes{};
    bytes[0] = flag;
    const std::size_t length = message.size() < kMaxText ? message.size() : kMaxText;
    if (length > 0) std::memcpy(bytes.data() + kStatusFlagSize, message.data(), length);
    return platform::write_status_bytes(path, bytes);
}
} // namespace

platform::StatusWriteResult reset_status_file(const std::string& path) {
    platform::create_folders_along(path);
    return write_status(path, std::byte{0}, {});
}

void report_failure(const std::string& path, std::string_view message) { write_status(path, std::byte{1}, message); }

} // namespace isorelink
