#include "read/image_kind_probe.h"

#include <array>
#include <cstring>
#include <string_view>

#include "format/iso9660/layout.h"
#include "format/udf/layout.h"

namespace isorelink {

namespace {

std::optional<std::uint8_t> byte_at(File& image, std::uint64_t offset) {
    std::array<std::byte, 1> one{};
    if (image.read_at(offset, one) != one.size()) return std::nullopt;
    return std::to_integer<std::uint8_t>(one[0]);
}

bool holds_signature(File& image, std::uint64_t offset, std::string_view signature) {
    std::array<std::byte, 3> bytes{};
    return signature.size() == bytes.size() && image.read_at(offset, bytes) == bytes.size() &&
           std::memcmp(bytes.data(), signature.data(), bytes.size()) == 0;
}

} // namespace

ImageKind kind_from_bytes(std::optional<std::uint8_t> system_byte, std::optional<std::uint8_t> application_byte,
                          ImageKind default_kind) {
    if (!system_byte || !application_byte) return default_kind;
    const std::uint8_t s = *system_byte;
    const std::uint8_t a = *application_byte;
    if ((s == 'S' || s == 'M') && a == 'C') return ImageKind::PspUmd;
    if (s == 'L' && a == 0x00) return ImageKind::Ps2Dvd;
    if (s == 'L' && a == 'C') return ImageKind::Ps2Cd;
    return default_kind;
}

ImageKind detect_image_kind(File& image, ImageKind default_kind) {
    const auto system_byte = byte_at(image, iso::kSystemByteOffset);
    const auto application_byte = byte_at(image, iso::kApplicationByteOffset);
    return kind_from_bytes(system_byte, application_byte, default_kind);
}

bool passes_header_test(File& image) {
    return holds_signature(image, iso::kApplicationByteOffset, "CD-") ||
           holds_signature(image, udf::kDvdSignatureOffset, "DVD");
}

} // namespace isorelink
