#pragma once
// Sparse new images holding only what the rebuild reads, and the job run over them.
#include <gtest/gtest.h>

#include "format/image_kind.h"
#include "rebuild/rebuild_job.h"
#include "support/test_support.h"

namespace isorelink::test {

struct HandImage {
    ImageKind kind = ImageKind::Ps2Cd;
    std::uint64_t bytes = 100 * 2048;
    std::uint32_t recorded_sectors = 100;
    std::uint32_t partition_start = 257;
    std::uint32_t partition_length = 0;
    std::vector<std::uint32_t> entry_sectors = {};
};

void write_hand_image(const std::string& path, const HandImage& image);
std::vector<std::byte> bytes_at(const std::string& path, std::uint64_t offset, std::size_t count);
void put_bytes(const std::string& path, std::uint64_t offset, const std::vector<std::byte>& bytes);
std::vector<std::byte> hex_bytes(const std::string& hex);  // "30 01 00 00"
inline std::vector<std::byte> text_bytes(std::string_view t) {
    return {reinterpret_cast<const std::byte*>(t.data()), reinterpret_cast<const std::byte*>(t.data() + t.size())};
}
// A failed outcome's message, or "" on success.
template <typename T> std::string failure(const Expected<T>& outcome) { return outcome ? "" : outcome.error().message; }

class RebuildFolder : public ::testing::Test {
protected:
    std::string image() const { return dir.file("NEW-GAME.ISO"); }
    std::string list() const { return dir.file("GAME.ISO-relink-LSN.TXT"); }
    std::string records() const { return dir.file("GAME.ISO.xqe"); }
    void relink(const std::string& text, std::size_t record_bytes) {
        write_text(list(), text);
        write_bytes(records(), std::vector<std::byte>(record_bytes));
    }
    void build(const HandImage& recipe) { write_hand_image(image(), recipe); }
    Expected<RebuildSummary> run() { return run_rebuild(dir.prefix(), "GAME.ISO"); }
    void expect_refused(const std::string& message, const std::string& why) {
        const auto before = fingerprint(image());
        EXPECT_EQ(failure(run()), message) << why;
        EXPECT_EQ(fingerprint(image()), before) << why;
    }
    ScratchDir dir;
};

} // namespace isorelink::test
