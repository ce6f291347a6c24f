#pragma once
// The headers and block indexes of compressed PSP images. Pure: no I/O, no
// compression.
//
//   CSO ("CISO"), version 1 (0 in some old files) and 2; ZSO ("ZISO"):
//     0  magic            4 bytes
//     4  header size      u32 (24; not reliable in CSO version 0/1)
//     8  image size       u64, the uncompressed 2,048-byte image's length
//    16  block size       u32, usually 2,048
//    20  version          u8
//    21  index shift      u8: an index entry's offset is entry << shift
//    22  unused           2 bytes
//    24  index            (blocks + 1) little-endian u32; the last one is the
//                         end of the data. Bit 31 tells how the block is stored,
//                         bits 0-30 where (after the shift); a block's length is
//                         the next entry's offset minus its own.
//   How a block is stored:
//     CSO 1: bit 31 set -> stored plain, clear -> raw deflate (no zlib header).
//     CSO 2: a length >= the block size -> stored plain; otherwise bit 31
//            set -> LZ4 block, clear -> raw deflate.
//     ZSO:   bit 31 set -> stored plain, clear -> LZ4 block.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/endian.h"

namespace isorelink::packed {

inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::uint32_t kPlainBit = 0x80000000u;

enum class Family { Cso, Zso };
enum class Storage { Plain, Deflate, Lz4 };

struct Header {
    Family family = Family::Cso;
    std::uint64_t image_size = 0;
    std::uint32_t block_size = 2048;
    std::uint8_t version = 1;
    std::uint8_t index_shift = 0;
    // Without overflow for an image size near 2^64.
    std::uint64_t blocks() const {
        return block_size == 0 ? 0 : image_size / block_size + (image_size % block_size != 0 ? 1 : 0);
    }
};

// True when the bytes start with "CISO" or "ZISO".
bool has_magic(ByteView bytes);

// Decodes a header; refuses (with the reason) anything this reader does not
// take: an unknown version, a block size that is not a power of two between
// 512 bytes and 16 MiB, an index shift above 16.
struct HeaderOrReason {
    std::optional<Header> header;
    std::string reason;
};
HeaderOrReason decode_header(ByteView bytes);
void encode_header(const Header& header, MutableByteView out);

// One block's place in the file and how it is stored.
struct BlockExtent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    Storage storage = Storage::Plain;
};

// Decodes the index (blocks + 1 entries) for a file of file_size bytes. Every
// offset must lie inside the file, after the index, and never go backwards;
// a stored length must be able to hold its block (plain: exactly the block
// size, or what is left of the image for the last block). Returns the reason
// for the first entry that breaks a rule.
struct IndexOrReason {
    std::vector<BlockExtent> blocks;
    std::string reason;
    bool ok() const { return reason.empty(); }
};
IndexOrReason decode_index(const Header& header, ByteView index, std::uint64_t file_size);

// Bytes of the index of a header's image.
std::uint64_t index_bytes(const Header& header);

// The index entry for a block that starts at offset (a multiple of
// 1 << index_shift) and is stored as given; nullopt when the offset does not
// fit 31 bits after the shift or the family cannot store it so.
std::optional<std::uint32_t> index_entry(const Header& header, std::uint64_t offset, Storage storage);

// How a family stores a block that does not compress: CSO 2 marks it by
// length alone, the others by bit 31.
inline bool plain_by_length(const Header& header) { return header.family == Family::Cso && header.version >= 2; }

} // namespace isorelink::packed
