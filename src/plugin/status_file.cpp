#include "plugin/status_file.h"

#include <array>
#include <cstring>

#include "common/file.h"
#include "common/job_error.h"
#include "platform/folders.h"

namespace isorelink {

namespace {
void write_status(const std::string& path, std::byte flag, std::string_view message) {
    std::array<std::byte, kStatusFileSize> bytes{};
    bytes[0] = flag;
    const std::size_t length = message.size() < kMaxText ? message.size() : kMaxText;
    if (length > 0) std::memcpy(bytes.data() + kStatusFlagSize, message.data(), length);
    if (auto file = File::open(path, "wb")) {
        file->write(bytes);
        file->close();
    }
}
} // namespace

void reset_status_file(const std::string& path) {
    platform::create_folders_along(path);
    write_status(path, std::byte{0}, {});
}

void report_failure(const std::string& path, std::string_view message) { write_status(path, std::byte{1}, message); }

} // namespace isorelink
