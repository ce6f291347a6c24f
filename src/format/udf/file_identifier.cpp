#include "format/udf/file_identifier.h"

#include <algorithm>

#include <vector>

#include "format/iso9660/identifier_name.h"
#include "format/udf/tag.h"

namespace isorelink::udf {

std::optional<std::string> identifier_listing_name(ByteView identifier) {
    if (identifier.empty()) return std::nullopt;
    const std::uint8_t compression = u8(identifier, 0);
    if (compression == 8) return listing_name(identifier.subspan(1));
    if (compression != 16) return std::nullopt;
    std::vector<std::byte> bytes;
    bytes.reserve(identifier.size() / 2);
    for (std::size_t i = 1; i + 2 <= identifier.size(); i += 2) {
        const std::uint16_t c = be16(identifier, i);
        if (c >= 0x80) return std::nullopt;
        bytes.push_back(static_cast<std::byte>(c));
    }
    return listing_name(bytes);
}

void encode_file_identifier(MutableByteView out, std::uint32_t location, const FileIdentifier& f) {
    const std::size_t size = f.size();
    detail::check_field(out.size(), 0, size);
    const MutableByteView d = out.first(size);
    std::fill(d.begin(), d.end(), std::byte{0});
    put_tag(d, kFileIdentifierDescriptor, location);
    put_le16(d, fid::kVersion, f.version);
    put_u8(d, fid::kCharacteristics, f.characteristics);
    put_u8(d, fid::kIdentifierLength, static_cast<std::uint8_t>(f.identifier.size()));
    encode_long_ad(d, fid::kIcb, f.icb);
    put_le16(d, fid::kImplementationUseLength, static_cast<std::uint16_t>(f.implementation_use.size()));
    std::copy(f.implementation_use.begin(), f.implementation_use.end(), d.begin() + fid::kImplementationUse);
    std::copy(f.identifier.begin(), f.identifier.end(),
              d.begin() + static_cast<std::ptrdiff_t>(fid::kImplementationUse + f.implementation_use.size()));
    seal_tag(d, static_cast<std::uint16_t>(size - tag::kSize));
}

} // namespace isorelink::udf
