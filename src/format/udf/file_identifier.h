#pragma once
// The File Identifier Descriptor: one name in a directory, pointing at its
// File Entry. 38 fixed bytes, the implementation use bytes, the identifier
// (OSTA compressed Unicode: a compression byte, 8 or 16, then the
// characters), padded to a multiple of four bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "format/endian.h"
#include "format/udf/allocation_descriptor.h"
#include "format/udf/layout.h"

namespace isorelink::udf {

struct FileIdentifier {
    std::uint16_t version = 1;
    std::uint8_t characteristics = 0;  // fid::kHidden, kDirectory, kDeleted, kParent
    LongAd icb;                        // the File Entry
    ByteView implementation_use;
    ByteView identifier;               // compression byte included; empty for the parent

    std::size_t size() const { return fid::size(implementation_use.size(), identifier.size()); }
    bool is_directory() const { return (characteristics & fid::kDirectory) != 0; }
    bool is_parent_or_deleted() const { return (characteristics & (fid::kParent | fid::kDeleted)) != 0; }
};

// The bytes the descriptor takes, from its 38 fixed bytes.
inline std::size_t file_identifier_size(ByteView fixed) {
    return fid::size(le16(fixed, fid::kImplementationUseLength), u8(fixed, fid::kIdentifierLength));
}

// Decodes a descriptor that lies wholly in bytes (file_identifier_size()
// bytes); the spans point into bytes.
inline FileIdentifier decode_file_identifier(ByteView bytes) {
    FileIdentifier f;
    f.version = le16(bytes, fid::kVersion);
    f.characteristics = u8(bytes, fid::kCharacteristics);
    f.icb = decode_long_ad(bytes, fid::kIcb);
    const std::size_t iu_length = le16(bytes, fid::kImplementationUseLength);
    const std::size_t id_length = u8(bytes, fid::kIdentifierLength);
    detail::check_field(bytes.size(), fid::kImplementationUse, iu_length + id_length);
    f.implementation_use = bytes.subspan(fid::kImplementationUse, iu_length);
    f.identifier = bytes.subspan(fid::kImplementationUse + iu_length, id_length);
    return f;
}

// The name an identifier gives, by the listing's rule (identifier_name.h):
// 8-bit characters as they stand, 16-bit ones when they are ASCII; nothing
// for an empty identifier, another compression or a 16-bit character past
// ASCII, which no ISO 9660 name matches.
std::optional<std::string> identifier_listing_name(ByteView identifier);

// Writes the descriptor (f.size() bytes, padding zeroed) at the start of
// out, with its tag at `location` (the block it lies in), sealed.
void encode_file_identifier(MutableByteView out, std::uint32_t location, const FileIdentifier& f);

// Walks a directory's File Identifier Descriptors in order and calls
// visit(identifier, name) for each named child (the parent and deleted ones,
// and names the listing cannot hold, are passed over). False when a
// descriptor does not fit the data or is no File Identifier, or when visit
// returns false.
template <class Visit>
bool for_each_named_identifier(ByteView directory, Visit&& visit) {
    for (std::size_t pos = 0; pos + fid::kFixedSize <= directory.size();) {
        const std::size_t length = file_identifier_size(directory.subspan(pos, fid::kFixedSize));
        if (length > directory.size() - pos) return false;
        const auto bytes = directory.subspan(pos, length);
        if (le16(bytes, tag::kIdentifier) != kFileIdentifierDescriptor) return false;
        const auto identifier = decode_file_identifier(bytes);
        pos += length;
        if (identifier.is_parent_or_deleted()) continue;
        auto name = identifier_listing_name(identifier.identifier);
        if (!name) continue;
        if (!visit(identifier, std::move(*name))) return false;
    }
    return true;
}

} // namespace isorelink::udf
