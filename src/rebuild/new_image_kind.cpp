#include "rebuild/new_image_kind.h"

#include <array>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/messages.h"

namespace isorelink {

namespace {
ImageKind rebuild_kind_from_bytes(std::uint8_t system_byte, std::uint8_t application_byte) {
    const bool xa = application_byte == 'C';
    if ((system_byte == 'S' || system_byte == 'M') && xa) return ImageKind::PspUmd;
    if (system_byte == 'L' && application_byte == 0x00) return ImageKind::Ps2Dvd;
    if (system_byte == 'L' && xa) return ImageKind::Ps2Cd;
    return ImageKind::PspUmd;
}
} // namespace

Expected<ImageKind> new_image_kind(File& image, std::uint64_t image_size, const std::string& image_path) {
    static_assert(iso::kApplicationByteOffset > iso::kSystemByteOffset);
    if (image_size <= iso::kApplicationByteOffset) return job_error(msg::kNewImageTooShort, image_path);
    std::array<std::byte, 1> system{};
    std::array<std::byte, 1> application{};
    if (image.read_at(iso::kSystemByteOffset, system) != 1 || image.read_at(iso::kApplicationByteOffset, application) != 1)
        return job_error(msg::kRebuildInternal, image_path);
    return rebuild_kind_from_bytes(u8(system, 0), u8(application, 0));
}

} // namespace isorelink
