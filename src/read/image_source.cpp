#include "read/image_source.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "common/messages.h"
#include "format/sector.h"
#include "read/block_codec.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

// Raw sectors read in one go by a raw source.
constexpr std::size_t kRawBatch = 32;
constexpr std::uint64_t kLargestCue = 1u << 20;
// The primary volume descriptor's sector: an image must reach past it.
constexpr std::uint64_t kFirstSectors = 17;

std::string lower_extension(const std::string& path) {
    auto ext = fs::path(path).extension().string();
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Formats refused by their first bytes or their name.
std::optional<std::string_view> foreign_format(ByteView head, const std::string& extension) {
    struct Magic {
        std::string_view bytes;
        std::string_view name;
    };
    static constexpr Magic kMagics[] = {{"MComprHD", "CHD"},      {std::string_view("ECM\0", 4), "ECM"},
                                        {"DAX\0", "DAX"},         {"JISO", "JSO"},
                                        {std::string_view("\0PBP", 4), "PBP"}, {"7z\xBC\xAF\x27\x1C", "7z archive"},
                                        {"PK\x03\x04", "ZIP archive"},          {"Rar!", "RAR archive"}};
    for (const auto& m : kMagics)
        if (head.size() >= m.bytes.size() && std::memcmp(head.data(), m.bytes.data(), m.bytes.size()) == 0)
            return m.name;
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {".chd", "CHD"}, {".ecm", "ECM"}, {".nrg", "NRG"}, {".mdf", "MDF"}, {".mds", "MDS"},
        {".ccd", "CloneCD"}, {".pbp", "PBP"}, {".dax", "DAX"}, {".jso", "JSO"}, {".7z", "7z archive"},
        {".zip", "ZIP archive"}, {".rar", "RAR archive"}, {".toc", "TOC"}, {".gdi", "GDI"}};
    for (const auto& [ext, name] : kNames)
        if (extension == ext) return name;
    return std::nullopt;
}

Expected<std::unique_ptr<ImageSource>> open_raw(RawLayout layout, std::string shown) {
    auto handle = platform::ReadHandle::open(layout.bin_path);
    if (!handle) {
        if (!layout.cue_path.empty()) return job_error(msg::kCueCannotOpenBin, {layout.cue_path, layout.bin_path});
        return job_error(msg::kCannotOpen, layout.bin_path);
    }
    const auto size = handle->size();
    if (!size) return job_error(msg::kCannotReadLength, layout.bin_path);
    layout.bin_size = *size;
    const std::uint64_t sectors = *size / cd::kRawSectorSize;
    if (layout.sheet) {
        layout.sectors = cue::first_track_sectors(*layout.sheet, sectors);
        if (layout.sheet->tracks.size() > 1 && layout.sheet->tracks[1].file == 0 &&
            layout.sheet->tracks[1].start() > sectors)
            return job_error(msg::kRawTooShort,
                             {layout.bin_path, std::to_string(*size), "the CUE sheet places track 2 beyond its end"});
    } else {
        layout.sectors = sectors;
    }
    if (layout.sheet && layout.sheet->tracks.size() == 1 && *size % cd::kRawSectorSize != 0)
        return job_error(msg::kRawTooShort,
                         {layout.bin_path, std::to_string(*size), "not a whole number of 2,352-byte sectors"});
    if (layout.sectors < kFirstSectors)
        return job_error(msg::kRawTooShort, {layout.bin_path, std::to_string(*size),
                                             "too short for the 17 sectors up to a volume descriptor"});
    // The track's mode from the volume descriptor's sector.
    std::array<std::byte, cd::kRawSectorSize> pvd{};
    if (!handle->read_exact_at(16 * cd::kRawSectorSize, pvd)) return job_error(msg::kCannotRead, layout.bin_path);
    const auto mode = cd::mode_of(pvd);
    if (layout.sheet)
        layout.mode2 = layout.sheet->tracks[0].mode == cue::TrackMode::Mode2Raw;
    else
        layout.mode2 = mode == cd::Mode::Mode2Form1 || mode == cd::Mode::Mode2Form2;
    (void)shown;
    return std::unique_ptr<ImageSource>(std::make_unique<RawSource>(std::move(layout), std::move(*handle)));
}

Expected<std::unique_ptr<ImageSource>> open_packed(const std::string& path, platform::ReadHandle handle,
                                                   std::uint64_t file_size) {
    std::array<std::byte, packed::kHeaderSize> head{};
    if (!handle.read_exact_at(0, head))
        return job_error(msg::kPackedRefused, {path, "too short for a CSO/ZSO header"});
    const auto decoded = packed::decode_header(head);
    if (!decoded.header) return job_error(msg::kPackedRefused, {path, decoded.reason});
    const auto& header = *decoded.header;
    const auto name = header.family == packed::Family::Cso ? "CSO" : "ZSO";
    const auto storage = header.family == packed::Family::Cso ? packed::Storage::Deflate : packed::Storage::Lz4;
    if (!codec_available(storage))
        return job_error(msg::kPackedNoCodec, {path, codec_library(storage), name});
    // The index must lie inside the file before a byte of it is allocated.
    const std::uint64_t index_size = packed::index_bytes(header);
    if (index_size > file_size - packed::kHeaderSize || index_size > (std::uint64_t{1} << 31))
        return job_error(msg::kPackedRefused, {path, "its header claims " + std::to_string(header.image_size) +
                                                         " bytes, whose block index would not fit in the file"});
    std::vector<std::byte> index(static_cast<std::size_t>(index_size));
    if (!handle.read_exact_at(packed::kHeaderSize, index)) return job_error(msg::kCannotRead, path);
    auto blocks = packed::decode_index(header, index, file_size);
    if (!blocks.ok()) return job_error(msg::kPackedRefused, {path, blocks.reason});
    return std::unique_ptr<ImageSource>(
        std::make_unique<PackedSource>(path, header, std::move(blocks.blocks), std::move(handle)));
}

} // namespace

std::string_view format_name(ImageFormat format) {
    switch (format) {
    case ImageFormat::Plain: return "ISO";
    case ImageFormat::Raw: return "BIN/CUE";
    case ImageFormat::Cso: return "CSO";
    case ImageFormat::Zso: return "ZSO";
    }
    return "?";
}

std::size_t PlainSource::read_at(std::uint64_t offset, std::span<std::byte> data) const {
    return handle_->read_at(offset, data);
}

bool RawSource::read_raw(std::uint64_t first, std::span<std::byte> sectors) const {
    return bin_.read_exact_at(first * cd::kRawSectorSize, sectors);
}

std::size_t RawSource::read_at(std::uint64_t offset, std::span<std::byte> data) const {
    failure_.clear();
    const std::uint64_t end = std::min<std::uint64_t>(offset + data.size(), layout_.sectors * cd::kUserSize);
    if (offset >= end) return 0;
    std::vector<std::byte> raw;
    std::size_t done = 0;
    std::uint64_t position = offset;
    while (position < end) {
        const std::uint64_t sector = position / cd::kUserSize;
        const std::uint64_t last = (end - 1) / cd::kUserSize;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kRawBatch, last - sector + 1));
        raw.resize(count * cd::kRawSectorSize);
        if (!read_raw(sector, raw)) {
            failure_ = "cannot read sector " + std::to_string(sector) + " of " + layout_.bin_path;
            return done;
        }
        for (std::size_t i = 0; i < count && position < end; ++i) {
            const ByteView one(raw.data() + i * cd::kRawSectorSize, cd::kRawSectorSize);
            auto mode = cd::mode_of(one);
            if (mode == cd::Mode::Unknown) mode = layout_.mode2 ? cd::Mode::Mode2Form1 : cd::Mode::Mode1;
            if (mode == cd::Mode::Mode2Form2) ++form2_read_;
            const std::size_t within = static_cast<std::size_t>(position % cd::kUserSize);
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(cd::kUserSize - within, end - position));
            std::memcpy(data.data() + done, one.data() + cd::user_data_offset(mode) + within, n);
            done += n;
            position += n;
        }
    }
    return done;
}

bool PackedSource::read_stored(std::size_t index, std::vector<std::byte>& out) const {
    const auto& b = blocks_[index];
    out.resize(static_cast<std::size_t>(b.length));
    return file_.read_exact_at(b.offset, out);
}

const std::vector<std::byte>* PackedSource::block(std::size_t index) const {
    if (cached_ == index) return &cache_;
    cached_.reset();
    if (index >= blocks_.size()) {
        // A header claiming a longer image than its index covers.
        failure_ = path_ + ": block " + std::to_string(index) + " lies beyond the block index";
        return nullptr;
    }
    const std::uint64_t start = std::uint64_t{index} * header_.block_size;
    const auto expected = static_cast<std::size_t>(std::min<std::uint64_t>(header_.block_size, header_.image_size - start));
    const auto& b = blocks_[index];
    // Deflate and LZ4 grow incompressible data by a little; the index shift
    // pads each block to its alignment. Anything longer is no block of ours to hold.
    if (b.length > std::uint64_t{header_.block_size} * 2 + (std::uint64_t{1} << header_.index_shift) + 4096) {
        failure_ = path_ + ": block " + std::to_string(index) + " claims " + std::to_string(b.length) + " stored bytes";
        return nullptr;
    }
    if (!read_stored(index, stored_)) {
        failure_ = "cannot read block " + std::to_string(index) + " of " + path_;
        return nullptr;
    }
    cache_.resize(expected);
    const auto produced = decode_block(b.storage, stored_, cache_);
    if (!produced || *produced != expected) {
        failure_ = path_ + ": block " + std::to_string(index) + " does not " +
                   (b.storage == packed::Storage::Lz4 ? "decode as LZ4" : "inflate") + " to its " +
                   std::to_string(expected) + " bytes";
        return nullptr;
    }
    cached_ = index;
    return &cache_;
}

std::size_t PackedSource::read_at(std::uint64_t offset, std::span<std::byte> data) const {
    failure_.clear();
    std::size_t done = 0;
    while (done < data.size() && offset + done < header_.image_size) {
        const std::uint64_t position = offset + done;
        const auto index = static_cast<std::size_t>(position / header_.block_size);
        const auto* bytes = block(index);
        if (bytes == nullptr) return done;
        const auto within = static_cast<std::size_t>(position % header_.block_size);
        const std::size_t n = std::min(bytes->size() - within, data.size() - done);
        std::memcpy(data.data() + done, bytes->data() + within, n);
        done += n;
    }
    return done;
}

Expected<std::string> read_cue_text(const std::string& path) {
    auto handle = platform::ReadHandle::open(path);
    if (!handle) return job_error(msg::kCannotOpen, path);
    const auto size = handle->size();
    if (!size) return job_error(msg::kCannotReadLength, path);
    if (*size > kLargestCue) return job_error(msg::kCueRefused, {path, "larger than any CUE sheet (1 MiB)"});
    std::string text(static_cast<std::size_t>(*size), '\0');
    if (!handle->read_exact_at(0, std::as_writable_bytes(std::span(text)))) return job_error(msg::kCannotRead, path);
    return text;
}

Expected<std::unique_ptr<ImageSource>> open_image_source(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return job_error(msg::kImageIsFolder, path);
    const auto extension = lower_extension(path);
    if (extension == ".cue") {
        auto text = read_cue_text(path);
        if (!text) return text.error();
        auto parsed = cue::parse(*text);
        if (!parsed.sheet) return job_error(msg::kCueRefused, {path, parsed.reason});
        RawLayout layout;
        layout.cue_path = path;
        layout.cue_text = std::move(*text);
        const fs::path bin = fs::path(parsed.sheet->files[0].name);
        layout.bin_path = (bin.is_absolute() ? bin : fs::path(path).parent_path() / bin).string();
        layout.sheet = std::move(parsed.sheet);
        return open_raw(std::move(layout), path);
    }
    auto handle = platform::ReadHandle::open(path);
    if (!handle) return job_error(msg::kCannotOpen, path);
    const auto size = handle->size();
    if (!size) return job_error(msg::kCannotReadLength, path);
    std::array<std::byte, 16> head{};
    const std::size_t got = handle->read_at(0, head);
    const ByteView first(head.data(), got);
    if (const auto name = foreign_format(first, extension)) return job_error(msg::kImageFormatRefused, {path, *name});
    if (packed::has_magic(first)) return open_packed(path, std::move(*handle), *size);
    // A raw image: the sync pattern at its first sector or at 16 (where the
    // volume descriptor lies), in a file of whole 2,352-byte sectors.
    std::array<std::byte, 16> at16{};
    const bool sync = (got == head.size() && cd::has_sync(first)) ||
                      (handle->read_exact_at(16 * cd::kRawSectorSize, at16) && cd::has_sync(at16));
    if (sync && *size % cd::kRawSectorSize != 0 && *size % cd::kUserSize != 0)
        return job_error(msg::kRawTooShort, {path, std::to_string(*size), "not a whole number of 2,352-byte sectors"});
    if (sync && *size % cd::kRawSectorSize == 0) {
        RawLayout layout;
        layout.bin_path = path;
        handle.reset();
        return open_raw(std::move(layout), path);
    }
    return std::unique_ptr<ImageSource>(std::make_unique<PlainSource>(std::move(*handle)));
}

} // namespace isorelink::host
