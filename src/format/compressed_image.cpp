#include "format/compressed_image.h"

#include <cstring>

namespace isorelink::packed {

namespace {
constexpr std::uint32_t kMinBlock = 512;
constexpr std::uint32_t kMaxBlock = 16u << 20;
} // namespace

bool has_magic(ByteView bytes) {
    if (bytes.size() < 4) return false;
    return std::memcmp(bytes.data(), "CISO", 4) == 0 || std::memcmp(bytes.data(), "ZISO", 4) == 0;
}

HeaderOrReason decode_header(ByteView bytes) {
    if (bytes.size() < kHeaderSize || !has_magic(bytes)) return {std::nullopt, "no CISO/ZISO header"};
    Header h;
    h.family = std::memcmp(bytes.data(), "CISO", 4) == 0 ? Family::Cso : Family::Zso;
    h.image_size = le64(bytes, 8);
    h.block_size = le32(bytes, 16);
    h.version = u8(bytes, 20);
    h.index_shift = u8(bytes, 21);
    if (h.family == Family::Cso ? h.version > 2 : h.version > 1)
        return {std::nullopt, "version " + std::to_string(h.version) + " is unknown"};
    if (h.family == Family::Cso && h.version == 2 && le32(bytes, 4) != kHeaderSize)
        return {std::nullopt, "a version 2 header must be 24 bytes long"};
    if (h.block_size < kMinBlock || h.block_size > kMaxBlock || (h.block_size & (h.block_size - 1)) != 0)
        return {std::nullopt, "block size " + std::to_string(h.block_size) + " is not a power of two from 512 to 16 MiB"};
    if (h.index_shift > 16) return {std::nullopt, "index shift " + std::to_string(h.index_shift) + " is too large"};
    return {h, {}};
}

void encode_header(const Header& h, MutableByteView out) {
    std::memset(out.data(), 0, kHeaderSize);
    std::memcpy(out.data(), h.family == Family::Cso ? "CISO" : "ZISO", 4);
    put_le32(out, 4, kHeaderSize);
    put_le32(out, 8, static_cast<std::uint32_t>(h.image_size));
    put_le32(out, 12, static_cast<std::uint32_t>(h.image_size >> 32));
    put_le32(out, 16, h.block_size);
    put_u8(out, 20, h.version);
    put_u8(out, 21, h.index_shift);
}

std::uint64_t index_bytes(const Header& header) { return (header.blocks() + 1) * 4; }

IndexOrReason decode_index(const Header& header, ByteView index, std::uint64_t file_size) {
    IndexOrReason result;
    const std::uint64_t count = header.blocks();
    if (index.size() < index_bytes(header)) {
        result.reason = "the block index is cut short";
        return result;
    }
    const std::uint64_t data_start = kHeaderSize + index_bytes(header);
    auto offset_of = [&](std::uint64_t i) {
        return std::uint64_t{le32(index, static_cast<std::size_t>(i * 4)) & ~kPlainBit} << header.index_shift;
    };
    result.blocks.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t entry = le32(index, static_cast<std::size_t>(i * 4));
        const std::uint64_t from = offset_of(i), to = offset_of(i + 1);
        const std::string which = "block " + std::to_string(i);
        if (from < data_start || to > file_size || to < from) {
            result.reason = which + " lies outside the file (bytes " + std::to_string(from) + " to " +
                            std::to_string(to) + " of " + std::to_string(file_size) + ")";
            result.blocks.clear();
            return result;
        }
        const std::uint64_t expected =
            i + 1 == count ? header.image_size - i * header.block_size : std::uint64_t{header.block_size};
        BlockExtent block{from, to - from, Storage::Plain};
        const bool flag = (entry & kPlainBit) != 0;
        if (plain_by_length(header)) {
            if (block.length < header.block_size && block.length < expected)
                block.storage = flag ? Storage::Lz4 : Storage::Deflate;
        } else if (!flag) {
            block.storage = header.family == Family::Cso ? Storage::Deflate : Storage::Lz4;
        }
        if (block.storage == Storage::Plain) {
            if (block.length < expected) {
                result.reason = which + " is stored plain but holds " + std::to_string(block.length) + " of its " +
                                std::to_string(expected) + " bytes";
                result.blocks.clear();
                return result;
            }
        }
        result.blocks.push_back(block);
    }
    return result;
}

std::optional<std::uint32_t> index_entry(const Header& header, std::uint64_t offset, Storage storage) {
    const std::uint64_t shifted = offset >> header.index_shift;
    if ((shifted << header.index_shift) != offset || shifted > 0x7FFFFFFFu) return std::nullopt;
    auto entry = static_cast<std::uint32_t>(shifted);
    if (plain_by_length(header)) {
        if (storage == Storage::Lz4) entry |= kPlainBit;
    } else {
        if (storage == Storage::Plain) entry |= kPlainBit;
        else if ((storage == Storage::Lz4) != (header.family == Family::Zso)) return std::nullopt;
    }
    return entry;
}

} // namespace isorelink::packed
