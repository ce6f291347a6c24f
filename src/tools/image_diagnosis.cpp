#include "tools/image_diagnosis.h"

#include "read/image_source.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string_view>

#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "platform/read_handle.h"
#include "tools/tree_agreement.h"

namespace isorelink::host {

namespace {

constexpr std::size_t kRawSectorSize = 2352;
// A raw CD sector opens with its sync pattern: 00, ten FF, 00.
constexpr std::array<unsigned char, 12> kSync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool bytes_are(const platform::ReadHandle& image, std::uint64_t offset, std::string_view text) {
    std::array<std::byte, 16> got{};
    const auto span = std::span<std::byte>(got).first(text.size());
    if (!image.read_exact_at(offset, span)) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::to_integer<char>(got[i]) != text[i]) return false;
    return true;
}

std::string system_identifier(const platform::ReadHandle& image) {
    std::array<std::byte, 32> field{};
    if (!image.read_exact_at(iso::kPrimaryDescriptorOffset + iso::pvd::kSystemId, field)) return {};
    std::string text;
    for (const std::byte b : field) {
        const char c = std::to_integer<char>(b);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '?')) text.pop_back();
    return text;
}

} // namespace

std::optional<std::string> diagnose_image(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return "a folder, not an image";
    auto image = platform::ReadHandle::open(path);
    if (!image) return std::nullopt;
    const auto size = image->size().value_or(0);

    std::array<std::byte, kSync.size()> head{};
    if (size >= kRawSectorSize && size % kRawSectorSize == 0 && image->read_exact_at(0, head)) {
        bool sync = true;
        for (std::size_t i = 0; i < kSync.size(); ++i) sync = sync && std::to_integer<unsigned char>(head[i]) == kSync[i];
        if (sync) return "raw 2,352-byte CD sectors (BIN): convert it to a 2,048-byte image first";
    }
    if (!bytes_are(*image, iso::kPrimaryDescriptorOffset + 1, "CD001"))
        return "not an ISO 9660 image: no volume descriptor at sector 16 (byte 32768)";
    if (bytes_are(*image, iso::kApplicationByteOffset, "CD-") || bytes_are(*image, udf::kDvdSignatureOffset, "DVD"))
        return std::nullopt;
    if (carries_udf_bridge(PlainSource(*image), size)) return std::nullopt;
    return "not a PS2 or PSP image: system identifier '" + system_identifier(*image) +
           "', no CD-XA001 mark at byte 33792 (PS2 CD and PSP UMD images carry it; PS2 DVD images carry a UDF "
           "bridge)";
}

} // namespace isorelink::host
