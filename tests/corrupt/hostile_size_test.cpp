// Kit images stretched sparsely to 1 GiB with one size field made hostile: each job runs in a child process and
// must end, in a coded failure or a success, and (outside the sanitizers) within 64 MiB of peak memory.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "format/endian.h"
#include "format/iso9660/layout.h"
#include "format/sector.h"
#include "format/udf/layout.h"
#include "corrupt_support.h"
#include "tools/verify_image.h"

#if defined(__SANITIZE_ADDRESS__)
#define ISORELINK_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define ISORELINK_UNDER_SANITIZER 1
#endif
#endif

namespace isorelink::test {
namespace {

using Image = std::vector<std::byte>;
using Change = std::function<void(Image&)>;

constexpr std::uint64_t kStretched = std::uint64_t{1} << 30;
constexpr std::uint32_t kLargestDirectory = 64u << 20;  // what verify still reads
constexpr long kMostKib = 64 * 1024;
constexpr auto kHangGuard = std::chrono::seconds(10);
#ifdef ISORELINK_UNDER_SANITIZER
constexpr bool kMeasureMemory = false;  // the sanitizers' shadow memory alone exceeds the bound
#else
constexpr bool kMeasureMemory = true;
#endif

// What a job in a child process came to: exit 0 for success, 1 for a coded failure, 2 otherwise.
struct ChildEnd {
    bool ended = false;
    int exit_code = -1;
    long peak_kib = 0;
    double seconds = 0;
    std::string message;
};

ChildEnd run_in_child(const std::string& message_path, const std::function<std::string()>& job) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const std::string message = job();
        fuzz::write_file(message_path, fuzz::as_u8(message));
        std::_Exit(message.empty() ? 0 : fuzz::is_coded(message) ? 1 : 2);
    }
    ChildEnd end;
    rusage usage{};
    int status = 0;
    for (;;) {
        if (wait4(child, &status, WNOHANG, &usage) == child) break;
        if (std::chrono::steady_clock::now() - started > kHangGuard) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            return end;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    end.ended = true;
    end.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.peak_kib = usage.ru_maxrss;
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const fuzz::Bytes message = fuzz::read_file(message_path);
    end.message.assign(message.begin(), message.end());
    return end;
}

void expect_bounded(const std::string& what, const ChildEnd& end, bool may_fail_uncoded = false) {
    ASSERT_TRUE(end.ended) << what << ": still running after " << kHangGuard.count() << " s";
    EXPECT_TRUE(end.exit_code == 0 || end.exit_code == 1 || (may_fail_uncoded && end.exit_code == 2))
        << what << ": exit " << end.exit_code << ", " << end.message;
    if (kMeasureMemory) {
        EXPECT_LE(end.peak_kib, kMostKib) << what << ": peak " << end.peak_kib / 1024 << " MiB in " << end.seconds
                                          << " s, " << end.message;
    }
}

void write_stretched(const std::string& path, std::span<const std::uint8_t> head, std::uint64_t length) {
    fuzz::write_file(path, head);
    std::filesystem::resize_file(path, length);  // the rest is a hole
}

// Size fields of the kit image, each made to claim (about) everything up to the stretched image's end, or more.
std::vector<std::pair<std::string, Change>> hostile_sizes(ImageKind kind) {
    const auto& s = fuzz::sample(kind);
    std::vector<std::pair<std::string, Change>> list;
    const auto put_size = [&](const std::string& name, std::size_t at, std::uint32_t v) {
        list.emplace_back(name, [=](Image& b) { put_both32(b, at, v); });
    };
    const auto to_end = [](std::uint64_t offset) { return static_cast<std::uint32_t>(kStretched - offset); };
    const std::size_t pvd = iso::kPrimaryDescriptorOffset;
    const std::uint64_t table = sector_offset(s.built.path_table_sector);
    for (const std::uint32_t size : {to_end(table), 0x7FFFFFFFu, 0xFFFFFFFFu})
        put_size("path table size " + std::to_string(size), pvd + iso::pvd::kPathTableSize, size);
    const auto last_sector = static_cast<std::uint32_t>(whole_sectors(kStretched) - 1);
    for (const std::size_t field : {iso::pvd::kTypeLPathTable, iso::pvd::kOptionalTypeLPathTable})
        list.emplace_back("path table " + std::to_string(field) + " at the last sector",
                          [=](Image& b) { put_le32(b, pvd + field, last_sector); });
    put_size("volume space size all ones", pvd + iso::pvd::kVolumeSpaceSize, 0xFFFFFFFF);
    const std::size_t root_record = pvd + iso::pvd::kRootDirectoryRecord;
    put_size("root record in the volume descriptor to the image end", root_record + iso::dr::kDataLength,
             to_end(sector_offset(both32(s.image, root_record + iso::dr::kExtent))));
    // Every record naming a directory ("." and ".." included), made to run to the image's end, or to the
    // largest directory the host's readers accept.
    for (const auto& directory : s.built.directories) {
        const std::size_t start = sector_offset(directory.sector);
        for (std::size_t at = start; at < start + directory.size && u8(s.image, at) != 0; at += u8(s.image, at)) {
            if ((u8(s.image, at + iso::dr::kFlags) & iso::dr::kFlagDirectory) == 0) continue;
            const std::uint32_t named = both32(s.image, at + iso::dr::kExtent);
            for (const std::uint32_t length : {to_end(sector_offset(named)), kLargestDirectory})
                put_size("record at " + std::to_string(at) + " in '" + directory.path + "' naming sector " +
                             std::to_string(named) + ": length " + std::to_string(length),
                         at + iso::dr::kDataLength, length);
        }
    }
    if (kind != ImageKind::Ps2Dvd) return list;

    const std::size_t fsd = sector_offset(s.built.partition_start);
    const std::size_t root_entry =
        sector_offset(s.built.partition_start + le32(s.image, fsd + udf::fsd::kRootIcb + udf::long_ad::kBlock));
    const std::size_t first_ad = root_entry + udf::fe::kExtendedAttributes +
                                 le32(s.image, root_entry + udf::fe::kExtendedAttributesLength);
    list.emplace_back("root File Entry information length 2^62",
                      [=](Image& b) { put_le64(b, root_entry + udf::fe::kInformationLength, std::uint64_t{1} << 62); });
    list.emplace_back("root File Entry extent to the image end", [=](Image& b) {
        put_le64(b, root_entry + udf::fe::kInformationLength, kLargestDirectory);
        put_le32(b, first_ad + udf::short_ad::kExtentLength,
                 to_end(sector_offset(s.built.partition_start + le32(b, first_ad + udf::short_ad::kExtentPosition))) &
                     ~std::uint32_t{kSectorSize - 1});
    });
    list.emplace_back("root File Entry descriptors length all ones", [=](Image& b) {
        put_le32(b, root_entry + udf::fe::kAllocationDescriptorsLength, 0xFFFFFFFF);
    });
    return list;
}

class HostileSize : public ::testing::TestWithParam<std::uint8_t> {
protected:
    ImageKind kind() const { return fuzz::kind_from_selector(GetParam()); }
    std::string what(const std::string& job, const std::string& name) const {
        return job + ", " + std::string(to_string(kind())) + ", " + name;
    }
    ChildEnd run(const std::function<std::string()>& job) { return run_in_child(dir_.file("outcome.txt"), job); }

    ScratchDir dir_;
};

TEST_P(HostileSize, ExtractionAndVerifyOfAStretchedImage) {
    for (const auto& [name, change] : hostile_sizes(kind())) {
        Image image = fuzz::sample_image(kind());
        change(image);
        write_stretched(dir_.file("BIG.ISO"), fuzz::as_u8(image), kStretched);
        expect_bounded(what("extraction", name),
                       run([&] { return failure(run_extraction(dir_.prefix(), "BIG.ISO")); }));
        // verify reports problems rather than failing: any ending will do, as long as it is bounded.
        expect_bounded(what("verify", name), run([&] { return failure(host::verify_image(dir_.file("BIG.ISO"))); }),
                       true);
    }
}

TEST_P(HostileSize, RebuildOfAStretchedImage) {
    const std::string listing = fuzz::sample_listing(kind(), dir_.prefix());
    const std::uint64_t sound_records = 12 * 64;
    const auto rebuild = [&](const std::string& name, const Image& image, std::uint64_t list_length,
                             std::uint64_t record_length) {
        write_stretched(dir_.file("NEW-B.ISO"), fuzz::as_u8(image), kStretched);
        write_stretched(dir_.file("B.ISO-relink-LSN.TXT"), fuzz::as_u8(listing), list_length);
        write_stretched(dir_.file("B.ISO.xqe"), {}, record_length);
        expect_bounded(what("rebuild", name), run([&] { return failure(run_rebuild(dir_.prefix(), "B.ISO")); }));
    };
    for (const auto& [name, change] : hostile_sizes(kind())) {
        Image image = fuzz::sample_image(kind());
        change(image);
        rebuild(name, image, listing.size(), sound_records);
    }
    const Image& sound = fuzz::sample_image(kind());
    const std::uint64_t huge_records = 12 * (std::uint64_t{1} << 32);
    rebuild("relink list ending in a 1 GiB line", sound, kStretched, sound_records);
    rebuild("record file of 48 GiB", sound, listing.size(), huge_records);
    rebuild("relink list ending in a 1 GiB line, record file of 48 GiB", sound, kStretched, huge_records);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, HostileSize, ::testing::Values(0, 1, 2), selector_name);

} // namespace
} // namespace isorelink::test
