#include "tools/format_bridge.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "common/messages.h"
#include "format/sector.h"
#include "platform/extent_copy.h"
#include "platform/file.h"
#include "common/progress.h"
#include "platform/progress_bar.h"
#include "read/block_codec.h"
#include "read/iso_volume.h"
#include "rebuild/rebuild_names.h"
#include "tools/file_lookup.h"
#include "tools/image_path.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 1u << 20;
constexpr std::size_t kRawBatch = 64;
// Damaged sectors verify names one by one before it only counts them.
constexpr std::size_t kNamedProblems = 20;

bool all_zero(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

JobError unreadable(const ImageSource& image, const std::string& shown, std::uint64_t offset) {
    if (!image.failure().empty()) return job_error(msg::kBlockUnreadable, {shown, image.failure()});
    return job_error(msg::kCannotReadToEnd, shown + " (at byte " + std::to_string(offset) + ")");
}

// Reads the 2,048-byte sectors [first, first + count) of image, zeros past its end.
bool read_sectors(const ImageSource& image, std::uint64_t size, std::uint64_t first, std::span<std::byte> out) {
    const std::uint64_t from = sector_offset(first);
    std::fill(out.begin(), out.end(), std::byte{0});
    if (from >= size) return true;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - from));
    return image.read_exact_at(from, out.first(n));
}

cd::Subheader with_ends(cd::Subheader s) {
    s[2] |= std::byte{cd::kSubmodeEndOfRecord | cd::kSubmodeEndOfFile};
    s[6] = s[2];
    return s;
}

cd::Subheader without_ends(cd::Subheader s) {
    s[2] &= ~std::byte{cd::kSubmodeEndOfRecord | cd::kSubmodeEndOfFile};
    s[6] = s[2];
    return s;
}

cd::Subheader subheader_at(const RawSource& base, std::uint64_t sector) {
    std::array<std::byte, cd::kRawSectorSize> raw{};
    cd::Subheader s = cd::kDataSubheader;
    if (sector < base.layout().sectors && base.read_raw(sector, raw) && cd::mode_of(raw) == cd::Mode::Mode2Form1)
        std::copy_n(raw.begin() + 16, 8, s.begin());
    return s;
}

// The rule replace encodes changed and appended sectors by: a replaced
// file's sectors keep the subheaders its old sectors had (its last sector the
// old last sector's, with its end-of-record and end-of-file bits); any other
// sector inside the source keeps its own; sectors appended after the source's
// end are like its last sector.
SubheaderOf replace_subheaders(const RawSource& base, const std::vector<PlannedFile>& files) {
    return [&base, files](std::uint64_t sector) {
        for (const auto& f : files) {
            const std::uint64_t count = sectors_to_hold(f.new_size);
            if (sector < f.new_sector || sector >= f.new_sector + count) continue;
            const std::uint64_t i = sector - f.new_sector;
            const std::uint64_t old_count = sectors_to_hold(f.old_size);
            if (old_count == 0) return i + 1 == count ? with_ends(cd::kDataSubheader) : cd::kDataSubheader;
            if (i + 1 == count) return subheader_at(base, f.old_sector + old_count - 1);
            if (old_count >= 2) return subheader_at(base, f.old_sector + std::min(i, old_count - 2));
            return without_ends(subheader_at(base, f.old_sector));
        }
        const std::uint64_t end = base.layout().sectors;
        return subheader_at(base, sector < end ? sector : end - 1);
    };
}

Status copy_bytes(const platform::ReadHandle& from, std::uint64_t start, std::uint64_t end, File& out,
                  const std::string& from_path, const std::string& out_path) {
    std::vector<std::byte> chunk(kChunk);
    for (std::uint64_t at = start; at < end;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
        if (!from.read_exact_at(at, std::span(chunk).first(n))) return job_error(msg::kCannotReadToEnd, from_path);
        if (!out.write(std::span(chunk).first(n))) return job_error(msg::kConvertCannotWrite, out_path);
        at += n;
    }
    return ok_status();
}

} // namespace

namespace {

// Writes the image's sectors in `ranges` (sorted, disjoint) to a new plain file of the image's length;
// all-zero stretches and every sector outside the ranges are left as holes.
Status decode_sectors(const ImageSource& image, std::uint64_t size, const std::vector<SectorRange>& ranges,
                      const std::string& out_path, const std::string& shown, bool quiet) {
    auto out = File::open(out_path, "wb");
    if (!out) return job_error(msg::kConvertCannotCreate, out_path);
    std::uint64_t total = 0;
    for (const auto& r : ranges) total += sector_offset(r.end - r.first);
    ProgressBar bar("decoding " + shown, total, quiet);
    std::vector<std::byte> chunk(kChunk);
    std::uint64_t done = 0;
    bool ended = false;  // the last byte is written: the file has its length
    for (const auto& r : ranges) {
        const std::uint64_t end = std::min(sector_offset(r.end), size);
        for (std::uint64_t at = sector_offset(r.first); at < end;) {
            progress::tick();
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
            const auto piece = std::span(chunk).first(n);
            if (!image.read_exact_at(at, piece)) return unreadable(image, shown, at);
            // Zeros are skipped, but the last piece is written to give the file its length.
            if (at + n == size || !all_zero(piece)) {
                if (!out->write_at(at, piece)) return job_error(msg::kConvertCannotWrite, out_path);
                ended = ended || at + n == size;
            }
            at += n;
            done += n;
            bar.update(done);
        }
    }
    if (!ended && size > 0) {
        const std::uint64_t last = sector_offset(sectors_to_hold(size) - 1);
        const auto piece = std::span(chunk).first(static_cast<std::size_t>(size - last));
        if (!image.read_exact_at(last, piece)) return unreadable(image, shown, last);
        if (!out->write_at(last, piece)) return job_error(msg::kConvertCannotWrite, out_path);
    }
    if (!out->close()) return job_error(msg::kConvertCannotWrite, out_path);
    bar.finish();
    return ok_status();
}

} // namespace

Status decode_to_plain(const ImageSource& image, const std::string& out_path, const std::string& shown, bool quiet) {
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadLength, shown);
    return decode_sectors(image, *size, {{0, sectors_to_hold(*size)}}, out_path, shown, quiet);
}

SubheaderOf fresh_subheaders(const ImageSource& image) {
    std::set<std::uint64_t> ends;
    const std::uint64_t sectors = sectors_to_hold(image.size().value_or(0));
    if (sectors > 0) ends.insert(sectors - 1);
    if (auto volume = read_iso_volume(image)) {
        for (const auto& f : volume->files)
            if (f.size > 0) ends.insert(std::uint64_t{f.sector} + sectors_to_hold(f.size) - 1);
        for (const auto& d : volume->directories)
            if (d.size > 0) ends.insert(std::uint64_t{d.sector} + sectors_to_hold(d.size) - 1);
    }
    // The volume descriptor set ends with its terminator (type 255).
    std::array<std::byte, kSectorSize> descriptor{};
    for (std::uint64_t s = 16; s < std::min<std::uint64_t>(sectors, 16 + 64); ++s) {
        if (!image.read_exact_at(sector_offset(s), descriptor)) break;
        if (std::to_integer<std::uint8_t>(descriptor[0]) == 255) {
            ends.insert(s);
            break;
        }
    }
    return [ends = std::move(ends)](std::uint64_t sector) {
        return ends.count(sector) ? with_ends(cd::kDataSubheader) : cd::kDataSubheader;
    };
}

namespace {

// Makes the raw sectors of an image in batches: each sector whose user data equal the base's at the same
// address is the base's sector byte for byte, the others are encoded afresh.
class RawBatch {
public:
    RawBatch(const ImageSource& image, std::uint64_t size, const RawSource* base, bool mode2,
             const SubheaderOf& subheader_of)
        : image_(image), size_(size), base_(base), mode2_(base ? base->layout().mode2 : mode2),
          base_sectors_(base ? base->layout().sectors : 0), subheader_of_(subheader_of),
          user_(kRawBatch * cd::kUserSize), raw_(kRawBatch * cd::kRawSectorSize), old_(kRawBatch * cd::kRawSectorSize),
          fresh_(kRawBatch) {}

    // Sectors [first, first + count), count at most kRawBatch.
    Status make(std::uint64_t first, std::size_t count) {
        if (!read_sectors(image_, size_, first, std::span(user_).first(count * cd::kUserSize)))
            return unreadable(image_, "the image", sector_offset(first));
        const auto in_base =
            static_cast<std::size_t>(first < base_sectors_ ? std::min<std::uint64_t>(count, base_sectors_ - first) : 0);
        if (in_base > 0 && !base_->read_raw(first, std::span(old_).first(in_base * cd::kRawSectorSize)))
            return job_error(msg::kCannotReadToEnd, base_->layout().bin_path);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t sector = first + i;
            const ByteView data(user_.data() + i * cd::kUserSize, cd::kUserSize);
            const MutableByteView target(raw_.data() + i * cd::kRawSectorSize, cd::kRawSectorSize);
            fresh_[i] = true;
            if (i < in_base) {
                const ByteView before(old_.data() + i * cd::kRawSectorSize, cd::kRawSectorSize);
                auto mode = cd::mode_of(before);
                if (mode == cd::Mode::Unknown) mode = mode2_ ? cd::Mode::Mode2Form1 : cd::Mode::Mode1;
                if (std::memcmp(before.data() + cd::user_data_offset(mode), data.data(), cd::kUserSize) == 0) {
                    std::copy(before.begin(), before.end(), target.begin());
                    fresh_[i] = false;
                    continue;
                }
            }
            ++encoded_;
            if (mode2_)
                cd::encode_mode2_form1(data, static_cast<std::uint32_t>(sector), subheader_of_(sector), target);
            else
                cd::encode_mode1(data, static_cast<std::uint32_t>(sector), target);
        }
        return ok_status();
    }
    std::span<const std::byte> raw(std::size_t from, std::size_t count) const {
        return std::span(raw_).subspan(from * cd::kRawSectorSize, count * cd::kRawSectorSize);
    }
    bool fresh(std::size_t i) const { return fresh_[i]; }
    std::uint64_t encoded() const { return encoded_; }

private:
    const ImageSource& image_;
    std::uint64_t size_;
    const RawSource* base_;
    bool mode2_;
    std::uint64_t base_sectors_;
    const SubheaderOf& subheader_of_;
    std::vector<std::byte> user_, raw_, old_;
    std::vector<bool> fresh_;
    std::uint64_t encoded_ = 0;
};

} // namespace

Expected<RawWriteResult> write_raw_image(const ImageSource& image, const std::string& bin_path, bool mode2,
                                         const RawSource* base, const SubheaderOf& subheader_of, bool quiet) {
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadImageLength);
    RawWriteResult result;
    result.sectors = sectors_to_hold(*size);
    if (result.sectors > std::uint64_t{cd::kLastAddress} + 1) return job_error(msg::kConvertTooLarge, bin_path);
    const std::uint64_t base_sectors = base ? base->layout().sectors : 0;
    auto out = File::open(bin_path, "wb");
    if (!out) return job_error(msg::kConvertCannotCreate, bin_path);
    ProgressBar bar("writing " + bin_path, result.sectors * cd::kRawSectorSize, quiet);
    RawBatch batch(image, *size, base, mode2, subheader_of);
    for (std::uint64_t first = 0; first < result.sectors; first += kRawBatch) {
        progress::tick();
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kRawBatch, result.sectors - first));
        if (auto made = batch.make(first, count); !made) return made.error();
        if (!out->write(batch.raw(0, count))) return job_error(msg::kConvertCannotWrite, bin_path);
        bar.update((first + count) * cd::kRawSectorSize);
    }
    result.encoded = batch.encoded();
    // Later tracks in the same .bin follow track 1 as they were.
    if (base && base->layout().bin_size > base_sectors * cd::kRawSectorSize) {
        if (auto copied = copy_bytes(base->bin(), base_sectors * cd::kRawSectorSize, base->layout().bin_size, *out,
                                     base->layout().bin_path, bin_path);
            !copied)
            return copied.error();
    }
    if (!out->close()) return job_error(msg::kConvertCannotWrite, bin_path);
    bar.finish();
    return result;
}

namespace {

// What write_raw_image(image, bin_path, base) writes, for an image whose user data equal the base's outside
// `may_differ` (sorted, disjoint) and a base .bin that holds track 1 only: the base's sectors are copied as
// the file system copies a file, then only the sectors of may_differ are made.
Expected<RawWriteResult> patch_raw_image(const ImageSource& image, const std::string& bin_path, const RawSource& base,
                                         const SubheaderOf& subheader_of, const std::vector<SectorRange>& may_differ,
                                         bool quiet) {
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadImageLength);
    RawWriteResult result;
    result.sectors = sectors_to_hold(*size);
    if (result.sectors > std::uint64_t{cd::kLastAddress} + 1) return job_error(msg::kConvertTooLarge, bin_path);
    const std::uint64_t kept_bytes = std::min(result.sectors, base.layout().sectors) * cd::kRawSectorSize;
    ProgressBar bar("writing " + bin_path, result.sectors * cd::kRawSectorSize, quiet);
    {
        auto copier = ExtentCopier::open(base.layout().bin_path);
        if (!copier) return copier.error();
        std::error_code ec;
        fs::remove(bin_path, ec);
        std::uint64_t done = 0;
        auto copied = copier->write_file({{0, kept_bytes}}, bin_path, [&](std::uint64_t bytes) {
            done += bytes;
            bar.update(done);
        });
        if (!copied) return copied.error();
    }
    auto out = File::open(bin_path, "r+b");
    if (!out) return job_error(msg::kConvertCannotCreate, bin_path);
    RawBatch batch(image, *size, &base, base.layout().mode2, subheader_of);
    for (const auto& r : may_differ) {
        const std::uint64_t end = std::min(r.end, result.sectors);
        for (std::uint64_t first = r.first; first < end; first += kRawBatch) {
            progress::tick();
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kRawBatch, end - first));
            if (auto made = batch.make(first, count); !made) return made.error();
            // Runs of sectors encoded afresh are written; the others are in the copy already.
            for (std::size_t i = 0; i < count;) {
                if (!batch.fresh(i)) {
                    ++i;
                    continue;
                }
                std::size_t j = i;
                while (j < count && batch.fresh(j)) ++j;
                if (!out->write_at((first + i) * cd::kRawSectorSize, batch.raw(i, j - i)))
                    return job_error(msg::kConvertCannotWrite, bin_path);
                i = j;
            }
        }
    }
    result.encoded = batch.encoded();
    if (!out->close()) return job_error(msg::kConvertCannotWrite, bin_path);
    bar.finish();
    return result;
}

} // namespace

Expected<PackedWriteResult> write_packed_image(const ImageSource& image, const std::string& path, packed::Family family,
                                               const PackedSource* base, bool quiet) {
    const auto size = image.size();
    if (!size) return job_error(msg::kCannotReadImageLength);
    packed::Header header;
    header.family = family;
    if (base && base->header().family == family) {
        header = base->header();
    } else {
        base = nullptr;
        header.version = 1;
        header.block_size = 2048;
    }
    header.image_size = *size;
    const packed::Storage compression = family == packed::Family::Cso ? packed::Storage::Deflate : packed::Storage::Lz4;
    if (!codec_available(compression))
        return job_error(msg::kPackedNoCodec, {path, codec_library(compression), family == packed::Family::Cso ? "CSO" : "ZSO"});
    if (!base) {
        // The largest file the image can make: every block plain, plus the index.
        const std::uint64_t worst = packed::kHeaderSize + packed::index_bytes(header) + *size + header.blocks() * 16;
        while ((worst >> header.index_shift) > 0x7FFFFFFFu) ++header.index_shift;
    }
    const std::uint64_t blocks = header.blocks();
    const std::uint64_t alignment = std::uint64_t{1} << header.index_shift;
    std::vector<std::byte> index(static_cast<std::size_t>(packed::index_bytes(header)));
    std::array<std::byte, packed::kHeaderSize> head{};
    packed::encode_header(header, head);

    auto out = File::open(path, "wb");
    if (!out) return job_error(msg::kConvertCannotCreate, path);
    if (!out->write(head) || !out->write(index)) return job_error(msg::kConvertCannotWrite, path);
    std::uint64_t position = packed::kHeaderSize + index.size();
    PackedWriteResult result;
    result.blocks = blocks;
    ProgressBar bar("writing " + path, *size, quiet);
    std::vector<std::byte> block(header.block_size), stored, padding(static_cast<std::size_t>(alignment));
    auto put_entry = [&](std::uint64_t i, std::uint64_t offset, packed::Storage storage) -> bool {
        const auto entry = packed::index_entry(header, offset, storage);
        if (!entry) return false;
        put_le32(index, static_cast<std::size_t>(i * 4), *entry);
        return true;
    };
    for (std::uint64_t i = 0; i < blocks; ++i) {
        progress::tick();
        const std::uint64_t from = i * header.block_size;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(header.block_size, *size - from));
        const auto bytes = std::span(block).first(length);
        if (!image.read_exact_at(from, bytes)) return unreadable(image, "the image", from);
        // Align the block's start.
        if (const std::uint64_t pad = (alignment - position % alignment) % alignment; pad > 0) {
            if (!out->write(std::span(padding).first(static_cast<std::size_t>(pad))))
                return job_error(msg::kConvertCannotWrite, path);
            position += pad;
        }
        packed::Storage storage = packed::Storage::Plain;
        const std::vector<std::byte>* old = base && i < base->blocks().size() ? base->block(static_cast<std::size_t>(i)) : nullptr;
        if (old && old->size() == length && std::equal(old->begin(), old->end(), bytes.begin())) {
            if (!base->read_stored(static_cast<std::size_t>(i), stored))
                return job_error(msg::kCannotReadToEnd, "the source image");
            storage = base->blocks()[static_cast<std::size_t>(i)].storage;
        } else {
            ++result.compressed;
            if (!encode_block(compression, bytes, stored) || stored.size() >= length) {
                stored.assign(bytes.begin(), bytes.end());
                storage = packed::Storage::Plain;
            } else {
                storage = compression;
            }
        }
        if (!put_entry(i, position, storage)) return job_error(msg::kConvertTooLarge, path);
        if (!out->write(stored)) return job_error(msg::kConvertCannotWrite, path);
        position += stored.size();
        bar.update(from + length);
    }
    if (const std::uint64_t pad = (alignment - position % alignment) % alignment; pad > 0) {
        if (!out->write(std::span(padding).first(static_cast<std::size_t>(pad))))
            return job_error(msg::kConvertCannotWrite, path);
        position += pad;
    }
    if (!put_entry(blocks, position, compression))
        return job_error(msg::kConvertTooLarge, path);
    if (!out->write_at(packed::kHeaderSize, index) || !out->close()) return job_error(msg::kConvertCannotWrite, path);
    result.file_size = position;
    bar.finish();
    return result;
}

void check_container(const ImageSource& image, std::vector<std::string>& problems, bool quiet) {
    std::size_t named = 0, more = 0;
    auto add = [&](std::string text) {
        if (named < kNamedProblems) {
            problems.push_back(std::move(text));
            ++named;
        } else {
            ++more;
        }
    };
    if (const auto* raw = dynamic_cast<const RawSource*>(&image)) {
        const std::uint64_t sectors = raw->layout().sectors;
        ProgressBar bar("checking sectors", sectors * cd::kRawSectorSize, quiet);
        std::vector<std::byte> batch(kRawBatch * cd::kRawSectorSize);
        for (std::uint64_t first = 0; first < sectors; first += kRawBatch) {
            progress::tick();
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kRawBatch, sectors - first));
            if (!raw->read_raw(first, std::span(batch).first(count * cd::kRawSectorSize))) {
                add("sector " + std::to_string(first) + ": cannot be read");
                break;
            }
            for (std::size_t i = 0; i < count; ++i) {
                const auto check = cd::check_sector(ByteView(batch.data() + i * cd::kRawSectorSize, cd::kRawSectorSize),
                                                    static_cast<std::uint32_t>(first + i));
                if (check.good()) continue;
                std::string what;
                auto also = [&](const char* t) { what += what.empty() ? t : std::string(", ") + t; };
                if (check.mode == cd::Mode::Unknown) also("unknown mode");
                if (!check.sync) also("no sync pattern");
                if (!check.address) also("wrong header address");
                if (!check.edc) also("EDC mismatch");
                if (!check.ecc) also("ECC mismatch");
                add("sector " + std::to_string(first + i) + " is damaged: " + what);
            }
            bar.update((first + count) * cd::kRawSectorSize);
        }
        bar.finish();
    } else if (const auto* packed = dynamic_cast<const PackedSource*>(&image)) {
        for (std::size_t i = 0; i < packed->blocks().size(); ++i) {
            progress::tick();
            if (packed->block(i) == nullptr) add(packed->failure());
        }
    }
    if (more > 0) problems.push_back("... and " + std::to_string(more) + " more damaged sectors or blocks");
}

namespace {

// A folder of our own beside the source for the plain images replace works
// on; removed with everything in it when the run ends.
class WorkFolder {
public:
    explicit WorkFolder(const std::string& beside) {
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = beside + ".isorelink-work-" + std::to_string(attempt);
            std::error_code ec;
            if (fs::create_directory(candidate, ec)) path_ = candidate;
        }
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return path_; }
    // Hands the folder over to whoever removes it.
    std::string release() { return std::exchange(path_, {}); }

private:
    std::string path_;
};

// The work folder's paths in a message, told as the user's image.
JobError as_source(JobError error, const std::string& work_image, const std::string& image_path) {
    for (auto at = error.message.find(work_image); at != std::string::npos;
         at = error.message.find(work_image, at + image_path.size()))
        error.message.replace(at, work_image.size(), image_path);
    return error;
}

// The sectors of a raw source the plain replace may read: everything but the content of the files it keeps
// (the system area, descriptors, path tables, directories, every gap and the replaced files), sorted and
// merged. Nothing when the source's layout is not one this can vouch for; replace then reads it whole.
// Only the primary tree is known here: an image with a Joliet or UDF tree, whose structures a file may cover,
// is not one to leave holes in.
bool primary_tree_only(const ImageSource& image) {
    std::array<std::byte, kSectorSize> descriptor{};
    bool ended = false;  // past the terminator: only UDF's descriptors matter there
    for (std::uint64_t s = 16; s < 16 + 64; ++s) {
        if (!image.read_exact_at(sector_offset(s), descriptor)) return false;
        const std::string_view id(reinterpret_cast<const char*>(descriptor.data()) + 1, 5);
        const auto type = std::to_integer<std::uint8_t>(descriptor[0]);
        if (id == "BEA01" || id == "NSR02" || id == "NSR03" || id == "TEA01") return false;
        if (ended) continue;
        if (id != "CD001" || (type != 0 && type != 1 && type != 255)) return false;
        ended = type == 255;
    }
    return ended;
}

std::optional<std::vector<SectorRange>> sectors_replace_reads(const RawSource& raw,
                                                             const std::vector<ReplaceRequest>& requests) {
    const std::uint64_t sectors = raw.layout().sectors;
    // Later tracks in the same .bin are copied by the full write.
    if (raw.layout().bin_size != sectors * cd::kRawSectorSize) return std::nullopt;
    if (!primary_tree_only(raw)) return std::nullopt;
    const auto volume = read_iso_volume(raw);
    if (!volume || !volume->problems.empty() || volume->kind == ImageKind::Ps2Dvd) return std::nullopt;
    std::set<std::string> asked;
    for (const auto& r : requests) asked.insert(match_key(r.iso_path));
    std::vector<SectorRange> kept, read;
    for (const auto& f : volume->files) {
        if (f.size == 0) continue;
        const SectorRange extent{f.sector, f.sector + sectors_to_hold(f.size)};
        (asked.count(match_key(f.path)) ? read : kept).push_back(extent);
    }
    // A file over other files or over gaps (a dummy file) would hide sectors replace reads as room; files
    // sharing one extent are fine.
    std::sort(kept.begin(), kept.end(), [](const SectorRange& a, const SectorRange& b) {
        return a.first != b.first ? a.first < b.first : a.end < b.end;
    });
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (kept[i].end > sectors || (i > 0 && kept[i].first < kept[i - 1].end)) return std::nullopt;
    for (const auto& d : volume->directories)
        read.push_back({d.sector, d.sector + std::max<std::uint64_t>(1, sectors_to_hold(d.size))});
    for (const auto s : volume->path_table_sectors)
        if (s != 0) read.push_back({s, s + std::max<std::uint64_t>(1, sectors_to_hold(volume->path_table_size))});
    // The descriptor area and the sectors before the end, as replace counts them among those it may change.
    constexpr std::uint64_t kEdge = 300;
    read.push_back({0, kEdge});
    read.push_back({sectors > kEdge ? sectors - kEdge : 0, sectors});
    auto ranges = outside_of(sectors, kept, read);
    for (auto& r : ranges) r.end = std::min(r.end, sectors);
    std::erase_if(ranges, [](const SectorRange& r) { return r.end <= r.first; });
    return ranges;
}

// Whether every sector of `needed` below `end` lies in `held` (both sorted and merged), and every sector from
// `end` up to `total` lies in `needed`.
bool sparse_copy_holds(const std::vector<SectorRange>& held, const std::vector<SectorRange>& needed,
                       std::uint64_t end, std::uint64_t total) {
    auto h = held.begin();
    for (const auto& n : needed) {
        if (n.first >= end) break;
        const std::uint64_t last = std::min(n.end, end);
        while (h != held.end() && h->end <= n.first) ++h;
        if (h == held.end() || h->first > n.first || h->end < last) return false;
    }
    for (std::uint64_t at = end; at < total;) {
        const auto covering = std::find_if(needed.begin(), needed.end(),
                                           [at](const SectorRange& r) { return r.first <= at && at < r.end; });
        if (covering == needed.end()) return false;
        at = covering->end;
    }
    return true;
}

Expected<ReplaceReport> replace_in(const ImageSource& source, const std::string& image_path,
                                   const std::vector<ReplaceRequest>& requests, bool quiet,
                                   const std::vector<std::string>& outputs, const std::string& work) {
    const auto* raw = dynamic_cast<const RawSource*>(&source);
    const auto* packed_source = dynamic_cast<const PackedSource*>(&source);
    const std::string stem = fs::path(cli::split_image_path(image_path).name).stem().string();
    // A raw source is decoded only where replace reads it, when that can be told, and its new .bin written as
    // a copy of the source with only the sectors replace may have changed made afresh.
    std::optional<std::vector<SectorRange>> sparse;
    std::error_code link_ec;
    if (raw && !fs::is_symlink(outputs[0], link_ec)) sparse = sectors_replace_reads(*raw, requests);
    std::string work_image;
    Expected<ReplaceReport> report = job_error(msg::kReplaceNothing);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The second attempt, in a folder of its own, decodes everything.
        const std::string folder = attempt == 0 ? work : work + "/whole";
        if (attempt == 1 && !fs::create_directory(folder, link_ec))
            return job_error(msg::kReplaceCannotCreate, folder);
        work_image = folder + "/" + stem + ".ISO";
        const auto size = source.size();
        if (!size) return with_prefix("replace: ", job_error(msg::kCannotReadLength, image_path));
        const auto decoded = sparse ? decode_sectors(source, *size, *sparse, work_image, image_path, quiet)
                                    : decode_to_plain(source, work_image, image_path, quiet);
        if (!decoded) return with_prefix("replace: ", decoded.error());
        report = run_replace(work_image, requests, quiet, {});
        // A run that failed, or may have read or changed a sector left out, is run again on the whole image:
        // what it says or writes is then what it always did.
        if (sparse && (!report || !sparse_copy_holds(*sparse, report->may_differ, raw->layout().sectors,
                                                     sectors_to_hold(report->new_image_size)))) {
            sparse.reset();
            continue;
        }
        if (!report) return as_source(report.error(), work_image, image_path);
        break;
    }
    auto new_plain_handle = platform::ReadHandle::open(report->new_image);
    if (!new_plain_handle) return job_error(msg::kReplaceCannotRead, report->new_image);
    const PlainSource new_plain(*new_plain_handle);

    std::string note;
    if (raw) {
        const std::string& new_bin = outputs[0];
        const std::string& new_cue = outputs[1];
        const auto subheaders = replace_subheaders(*raw, report->files);
        auto written = sparse ? patch_raw_image(new_plain, new_bin, *raw, subheaders, report->may_differ, quiet)
                              : write_raw_image(new_plain, new_bin, raw->layout().mode2, raw, subheaders, quiet);
        if (!written) return with_prefix("replace: ", written.error());
        const std::string bin_name = fs::path(new_bin).filename().string();
        const auto shift = static_cast<std::int64_t>(written->sectors) - static_cast<std::int64_t>(raw->layout().sectors);
        const std::string sheet = raw->layout().sheet
                                      ? cue::rewrite(raw->layout().cue_text, bin_name, shift)
                                      : cue::single_track(bin_name, raw->layout().mode2 ? cue::TrackMode::Mode2Raw
                                                                                        : cue::TrackMode::Mode1Raw);
        if (auto cue_written = write_text_file(new_cue, sheet); !cue_written) return cue_written.error();
        note = "wrote " + new_bin + " (" + std::to_string(written->encoded) + " of " + std::to_string(written->sectors) +
               " raw sectors encoded afresh, the others copied) and " + new_cue + "\n";
        report->new_image = new_bin;
    } else {
        const std::string& new_image = outputs[0];
        auto written = write_packed_image(new_plain, new_image, packed_source->header().family, packed_source, quiet);
        if (!written) return with_prefix("replace: ", written.error());
        note = "wrote " + new_image + " (" + std::to_string(written->compressed) + " of " +
               std::to_string(written->blocks) + " blocks compressed afresh, the others copied; " +
               std::to_string(written->file_size) + " bytes)\n";
        report->new_image = new_image;
    }
    std::error_code ec;
    fs::copy_file(report->relink_list, outputs.back(), fs::copy_options::overwrite_existing, ec);
    if (ec) return job_error(msg::kReplaceCannotWrite, outputs.back());
    report->relink_list = outputs.back();
    report->container_note = std::move(note);
    return report;
}

} // namespace

std::optional<Expected<ReplaceReport>> replace_other_format(const std::string& image_path,
                                                            const std::vector<ReplaceRequest>& requests, bool quiet,
                                                            GuardOptions options) {
    auto source = open_image_source(image_path);
    if (!source) {
        if (!platform::ReadHandle::open(image_path)) return std::nullopt;  // replace says it in its own words
        return Expected<ReplaceReport>(with_prefix("replace: ", source.error()));
    }
    if ((*source)->format() == ImageFormat::Plain) return std::nullopt;
    const auto [folder, name] = cli::split_image_path(image_path);
    const std::string stem = fs::path(name).stem().string();
    auto names = rebuild_names(folder, name);
    if (!names) return Expected<ReplaceReport>(names.error());
    // The new image(s), then the relink list.
    std::vector<std::string> outputs;
    if ((*source)->format() == ImageFormat::Raw) {
        outputs = {folder + "NEW-" + stem + ".bin", folder + "NEW-" + stem + ".cue"};
        // The sheet may name a .bin called like the new one: never write over what is read.
        const auto& bin = dynamic_cast<const RawSource&>(**source).layout().bin_path;
        for (const auto& output : outputs) {
            std::error_code ec;
            if (output == image_path || output == bin || fs::equivalent(output, bin, ec) ||
                fs::equivalent(output, image_path, ec))
                return Expected<ReplaceReport>(job_error(msg::kReplaceOutputIsSource, {output, bin}));
        }
    } else {
        outputs = {names->new_image};
    }
    outputs.push_back(names->relink_list);
    OutputGuard guard(folder, outputs, options);
    if (auto allowed = guard.check("replace"); !allowed) return Expected<ReplaceReport>(allowed.error());
    WorkFolder work(folder + "." + stem);
    if (work.path().empty())
        return Expected<ReplaceReport>(job_error(msg::kReplaceCannotCreate, folder + "." + stem + ".isorelink-work-N"));
    auto report = replace_in(**source, image_path, requests, quiet, outputs, work.path());
    if (!report) {
        const auto cleaned = guard.failed();
        return Expected<ReplaceReport>(cleaned.empty() ? report.error()
                                                       : JobError{report.error().kind, report.error().message + "\n" + cleaned});
    }
    guard.succeeded(outputs, {});
    return report;
}

PlainImage::~PlainImage() {
    std::error_code ec;
    if (!work_folder_.empty()) fs::remove_all(work_folder_, ec);
}

Expected<std::unique_ptr<PlainImage>> plain_image_of(const std::string& image_path, bool quiet) {
    auto source = open_image_source(image_path);
    // An image that cannot be opened at all is the command's to report in its own words.
    if (!source && !platform::ReadHandle::open(image_path)) return std::make_unique<PlainImage>(image_path);
    if (!source) return source.error();
    if ((*source)->format() == ImageFormat::Plain) return std::make_unique<PlainImage>(image_path);
    const auto [folder, name] = cli::split_image_path(image_path);
    const std::string stem = fs::path(name).stem().string();
    WorkFolder work(folder + "." + stem);
    if (work.path().empty()) return job_error(msg::kReplaceCannotCreate, folder + "." + stem + ".isorelink-work-N");
    const std::string plain = work.path() + "/" + stem + ".ISO";
    auto view = std::make_unique<PlainImage>(plain);
    view->work_folder_ = work.release();
    if (auto decoded = decode_to_plain(**source, plain, image_path, quiet); !decoded) return decoded.error();
    return view;
}

std::optional<JobError> plain_image_required(const std::string& image_path) {
    auto source = open_image_source(image_path);
    if (!source) {
        // An image that cannot be opened is the job's to report in its own words.
        if (!platform::ReadHandle::open(image_path)) return std::nullopt;
        return source.error();
    }
    const auto format = (*source)->format();
    if (format == ImageFormat::Plain) return std::nullopt;
    std::string what = format == ImageFormat::Raw   ? "a raw BIN image"
                       : format == ImageFormat::Cso ? "a CSO image"
                                                    : "a ZSO image";
    const auto [folder, name] = cli::split_image_path(image_path);
    std::string input = image_path;
    if (const auto* raw = dynamic_cast<const RawSource*>(source->get()); raw && !raw->layout().cue_path.empty())
        input = raw->layout().cue_path;
    const std::string output = folder + fs::path(name).stem().string() + ".ISO";
    return job_error(msg::kNeedsConvert, {image_path, what, input, output});
}

} // namespace isorelink::host
