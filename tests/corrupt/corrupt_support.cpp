#include "corrupt/corrupt_support.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "common/endian.h"
#include "common/iso9660_layout.h"
#include "common/sector.h"
#include "common/udf_layout.h"
#include "extract/descriptor_anchor.h"

namespace isorelink::test {

std::string bounded(const std::string& what, const std::function<std::string()>& run_case) {
    std::packaged_task<std::string()> task(run_case);
    auto result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(std::chrono::seconds(kCaseLimitSeconds)) == std::future_status::timeout) {
        std::fprintf(stderr, "HANG: %s did not end within %d s\n", what.c_str(), kCaseLimitSeconds);
        std::fflush(stderr);
        std::_Exit(3);
    }
    worker.join();
    return result.get();
}

namespace {

using Image = std::vector<std::byte>;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;

class Corruptions {
public:
    explicit Corruptions(ImageKind kind) : base_(fuzz::sample_image(kind)) {}

    // A copy of the sample with `change` applied, under `name`.
    template <class Change>
    void add(const std::string& name, Change change) {
        Image image = base_;
        change(MutableByteView(image), image);
        list_.push_back({name, std::move(image), rebuild_reads_});
    }
    void put32(const std::string& name, std::uint64_t at, std::uint32_t value) {
        add(name, [&](MutableByteView b, Image&) { put_le32(b, static_cast<std::size_t>(at), value); });
    }
    void both32(const std::string& name, std::uint64_t at, std::uint32_t value) {
        add(name, [&](MutableByteView b, Image&) { put_both32(b, static_cast<std::size_t>(at), value); });
    }
    void byte(const std::string& name, std::uint64_t at, std::uint8_t value) {
        add(name, [&](MutableByteView b, Image&) { put_u8(b, static_cast<std::size_t>(at), value); });
    }

    // Marks the corruptions added from now on as ones the rebuild reads.
    void rebuild_reads(bool reads) { rebuild_reads_ = reads; }
    std::vector<Corruption> take() { return std::move(list_); }

private:
    const Image& base_;
    std::vector<Corruption> list_;
    bool rebuild_reads_ = false;
};

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Byte offsets of the sample image's type L path table records.
std::vector<std::uint64_t> path_table_record_offsets(ImageKind kind) {
    const auto& s = fuzz::sample(kind);
    const ByteView image(s.image);
    std::vector<std::uint64_t> offsets;
    const std::uint64_t start = sector_offset(s.built.path_table_sector);
    for (std::uint64_t at = start; at < start + s.built.path_table_size;) {
        offsets.push_back(at);
        at += iso::ptr::record_size(u8(image, static_cast<std::size_t>(at)));
    }
    return offsets;
}

// Byte offsets of every directory record of the sample image, walk order.
std::vector<std::uint64_t> directory_record_offsets(ImageKind kind) {
    const auto& s = fuzz::sample(kind);
    const ByteView image(s.image);
    std::vector<std::uint64_t> offsets;
    for (const auto& directory : s.built.directories) {
        const std::uint64_t start = sector_offset(directory.sector);
        for (std::uint64_t at = start; at < start + directory.size;) {
            const std::uint8_t length = u8(image, static_cast<std::size_t>(at));
            if (length == 0) {
                at = (at / kSectorSize + 1) * kSectorSize;
                continue;
            }
            offsets.push_back(at);
            at += length;
        }
    }
    return offsets;
}

void primary_descriptor(Corruptions& c, const kit::BuiltImage& built) {
    const std::uint64_t pvd = iso::kPrimaryDescriptorOffset;
    for (std::uint32_t size : {0u, 1u, built.path_table_size + 1, 0x7FFFFFFFu, kAllOnes})
        c.both32("path table size " + hex(size), pvd + iso::pvd::kPathTableSize, size);
    for (std::uint32_t at : {0u, built.sector_count, kAllOnes}) {
        c.put32("type L path table at " + hex(at), pvd + iso::pvd::kTypeLPathTable, at);
        c.put32("optional type L path table at " + hex(at), pvd + iso::pvd::kOptionalTypeLPathTable, at);
    }
    for (std::uint32_t sectors : {0u, 1u, kAllOnes})
        c.both32("volume space size " + hex(sectors), pvd + iso::pvd::kVolumeSpaceSize, sectors);
    c.both32("root record extent all ones", pvd + iso::pvd::kRootDirectoryRecord + iso::dr::kExtent, kAllOnes);
    c.byte("no CD- signature", iso::kApplicationByteOffset, 0);
}

void path_table(Corruptions& c, const kit::BuiltImage& built) {
    const auto records = path_table_record_offsets(built.kind);
    const auto count = static_cast<std::uint16_t>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::uint64_t at = records[i];
        const std::string name = "path table record " + std::to_string(i + 1) + ": ";
        c.byte(name + "identifier length 0", at + iso::ptr::kIdentifierLength, 0);
        c.byte(name + "identifier length 255, past the table", at + iso::ptr::kIdentifierLength, 255);
        for (std::uint32_t extent : {0u, built.sector_count, kAllOnes})
            c.put32(name + "directory at " + hex(extent), at + iso::ptr::kExtent, extent);
        for (std::uint16_t parent : {std::uint16_t{0}, static_cast<std::uint16_t>(count + 1), std::uint16_t{0xFFFF}}) {
            c.add(name + "parent " + std::to_string(parent), [&](MutableByteView b, Image&) {
                put_le16(b, static_cast<std::size_t>(at + iso::ptr::kParentNumber), parent);
            });
        }
    }
}

void directory_records(Corruptions& c, const kit::BuiltImage& built) {
    const auto records = directory_record_offsets(built.kind);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::uint64_t at = records[i];
        const std::string name = "directory record " + std::to_string(i + 1) + ": ";
        for (std::uint8_t length : {0, 1, 33, 255}) c.byte(name + "length " + std::to_string(length), at, length);
        c.both32(name + "extent all ones", at + iso::dr::kExtent, kAllOnes);
        c.both32(name + "extent past the image", at + iso::dr::kExtent, built.sector_count);
        c.both32(name + "size all ones", at + iso::dr::kDataLength, kAllOnes);
        c.byte(name + "identifier length 255", at + iso::dr::kIdentifierLength, 255);
    }
    // The directory's own length, which bounds its walk.
    for (const auto& directory : built.directories) {
        const std::uint64_t self = sector_offset(directory.sector) + iso::dr::kDataLength;
        for (std::uint32_t length : {0u, 1u, 33u, 34u, 2047u, 4096u, kAllOnes})
            c.both32("directory '" + directory.path + "' length " + hex(length), self, length);
    }
}

// Records of length 0, 1, 33 and 255 at the end of the root directory's
// sector, reached through filler records (directory flag: not listed) after
// "." and "..", ending at the sector's end or running past it.
void records_at_sector_end(Corruptions& c, const kit::BuiltImage& built) {
    const std::uint64_t root = sector_offset(built.directories.front().sector);
    const struct {
        std::uint8_t length;
        std::size_t from_end;
    } tails[] = {{0, 1}, {1, 1}, {33, 33}, {33, 20}, {255, 255}, {255, 100}, {34, 33}};
    for (const std::uint32_t directory_length : {2048u, 4096u}) {
        for (const auto& tail : tails) {
            c.add("root ends in a record of length " + std::to_string(tail.length) + " " +
                      std::to_string(tail.from_end) + " bytes before the sector's end, directory length " +
                      std::to_string(directory_length),
                  [&](MutableByteView b, Image&) {
                      const auto base = static_cast<std::size_t>(root);
                      std::size_t at = u8(b, base);
                      at += u8(b, base + at);  // after "." and ".."
                      put_both32(b, base + iso::dr::kDataLength, directory_length);
                      const std::size_t target = kSectorSize - tail.from_end;
                      for (std::size_t i = at; i < kSectorSize; ++i) b[base + i] = std::byte{0};
                      while (at < target) {
                          // Fillers of 34 to 255 bytes that meet the target exactly.
                          const std::size_t gap = target - at;
                          const std::size_t length = gap <= 255 ? gap : gap - 255 >= 34 ? 255 : gap - 34;
                          put_u8(b, base + at, static_cast<std::uint8_t>(length));
                          put_u8(b, base + at + iso::dr::kFlags, iso::dr::kFlagDirectory);
                          put_u8(b, base + at + iso::dr::kIdentifierLength, 1);
                          at += length;
                      }
                      put_u8(b, base + target, tail.length);
                  });
        }
    }
}

void udf_bridge(Corruptions& c, const kit::BuiltImage& built) {
    // File Entries: one per listed extent.
    std::vector<std::uint64_t> entries;
    for (const auto& extent : built.extents)
        if (extent.entry_offset != 0) entries.push_back(extent.entry_offset);
    if (entries.empty()) return;
    const auto every_entry = [&](const std::string& name, auto change) {
        c.add(name, [&](MutableByteView b, Image&) {
            for (const std::uint64_t e : entries) change(b, static_cast<std::size_t>(e));
        });
    };
    const auto blank = [](MutableByteView b, std::size_t at) {
        for (std::size_t i = 0; i < 16; ++i) b[at + i] = std::byte{0};
    };
    every_entry("no identifier marker", [&](MutableByteView b, std::size_t e) { blank(b, e + udf::fe::kImplementationId); });
    every_entry("no attribute marker", [&](MutableByteView b, std::size_t e) { blank(b, e + udf::fe::kAttributeMarker); });
    every_entry("identifier marker off the grid", [&](MutableByteView b, std::size_t e) {
        blank(b, e + udf::fe::kImplementationId);
        for (std::size_t i = 0; i < 16; ++i) b[e + udf::fe::kImplementationId + 8 + i] = kIdentifierMarker[i];
    });
    every_entry("attribute marker off the grid", [&](MutableByteView b, std::size_t e) {
        blank(b, e + udf::fe::kAttributeMarker);
        for (std::size_t i = 0; i < 16; ++i) b[e + udf::fe::kAttributeMarker + 4 + i] = kAttributeMarker[i];
    });
    every_entry("every extent before its entry", [&](MutableByteView b, std::size_t e) {
        put_le32(b, e + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition, 0);
    });
    every_entry("extents all ones", [&](MutableByteView b, std::size_t e) {
        put_le32(b, e + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentPosition, kAllOnes);
        put_le32(b, e + udf::fe::kShortAllocationDescriptor + udf::short_ad::kExtentLength, kAllOnes);
    });
    every_entry("information length all ones", [&](MutableByteView b, std::size_t e) {
        put_le64(b, e + udf::fe::kInformationLength, ~std::uint64_t{0});
    });
    c.put32("second File Entry is not one", entries.size() > 1 ? entries[1] : entries[0], 0);
    // The run never ends: every sector from the first File Entry on is one.
    c.add("File Entry run to the image's end", [&](MutableByteView b, Image& image) {
        const std::size_t first = static_cast<std::size_t>(sector_offset(built.first_file_entry_sector));
        for (std::size_t at = first + kSectorSize; at + kSectorSize <= image.size(); at += kSectorSize)
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(first), kSectorSize,
                        image.begin() + static_cast<std::ptrdiff_t>(at));
        (void)b;
    });
    // The charset that gives the partition start: missing or off the grid.
    const std::size_t charset =
        static_cast<std::size_t>(sector_offset(built.partition_start) + udf::fsd::kLogicalVolumeIdCharset);
    c.add("no File Set Descriptor charset", [&](MutableByteView b, Image&) { blank(b, charset); });
    c.add("charset off the grid", [&](MutableByteView b, Image& image) {
        std::copy_backward(image.begin() + static_cast<std::ptrdiff_t>(charset),
                           image.begin() + static_cast<std::ptrdiff_t>(charset + 16),
                           image.begin() + static_cast<std::ptrdiff_t>(charset + 16 + 3));
        (void)b;
    });
    c.add("no anchor at 256", [&](MutableByteView b, Image& image) {
        const std::size_t at = 256 * std::size_t{kSectorSize};
        if (at + kSectorSize <= image.size()) std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), kSectorSize, std::byte{0});
    });
    c.byte("no DVD signature", udf::kDvdSignatureOffset, 0);
}

} // namespace

std::vector<Corruption> field_corruptions(ImageKind kind) {
    const auto& built = fuzz::sample(kind).built;
    Corruptions c(kind);
    path_table(c, built);
    directory_records(c, built);
    records_at_sector_end(c, built);
    c.rebuild_reads(true);
    primary_descriptor(c, built);
    if (kind == ImageKind::Ps2Dvd) udf_bridge(c, built);
    return c.take();
}

} // namespace isorelink::test
