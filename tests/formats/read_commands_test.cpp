// list and unpack read a BIN/CUE, CSO or ZSO as the plain image it holds:
// the same listing and the same files as from the ISO, nothing left beside it.
#include <gtest/gtest.h>

#include <set>

#include "formats/format_support.h"

namespace isorelink::test {
namespace {

std::set<std::string> names_in(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// The listing with the image's path taken out of its summary.
std::string listing_body(std::string output, const std::string& image) {
    for (auto at = output.find(image); at != std::string::npos; at = output.find(image))
        output.replace(at, image.size(), "IMAGE");
    return output;
}

TEST(ReadCommands, ListAndUnpackTakeEveryFormatAsItsPlainImage) {
    ScratchDir dir;
    const auto iso = make_game(dir);
    if (iso.empty()) GTEST_SKIP() << "genisoimage not installed";
    const auto listed = cli("list " + q(iso));
    ASSERT_EQ(listed.exit_code, 0) << listed.output;
    ASSERT_EQ(cli("unpack --quiet " + q(iso) + " " + q(dir.file("from-iso"))).exit_code, 0);

    for (const std::string other : {"GAME.cue", "GAME.cso", "GAME.zso"}) {
        const auto converted = cli("convert --quiet " + q(iso) + " " + q(dir.file(other)));
        if (converted.output.find("built without") != std::string::npos) continue;  // no zlib or liblz4 here
        ASSERT_EQ(converted.exit_code, 0) << converted.output;
        const auto before = names_in(dir.path());

        const auto from_other = cli("list " + q(dir.file(other)));
        ASSERT_EQ(from_other.exit_code, 0) << other << "\n" << from_other.output;
        EXPECT_EQ(listing_body(from_other.output, dir.file(other)), listing_body(listed.output, iso)) << other;

        const auto out = dir.file("from-" + other);
        const auto unpacked = cli("unpack --quiet " + q(dir.file(other)) + " " + q(out));
        ASSERT_EQ(unpacked.exit_code, 0) << other << "\n" << unpacked.output;
        for (const char* file : {"DATA/A.BIN", "DATA/KEEP.BIN", "README.TXT"})
            EXPECT_EQ(read_bytes(out + "/" + file), read_bytes(dir.file("from-iso") + "/" + file))
                << other << " " << file;

        auto after = names_in(dir.path());
        after.erase("from-" + other);
        EXPECT_EQ(after, before) << other << ": the decoded work copy is gone";
    }
}

} // namespace
} // namespace isorelink::test
