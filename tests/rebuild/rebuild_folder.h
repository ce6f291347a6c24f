#pragma once
// A folder holding a hand-made new image, its relink list and record file, and the rebuild run over them.
#include <gtest/gtest.h>

#include "rebuild/rebuild_job.h"
#include "support/hand_image.h"
#include "support/test_support.h"

namespace isorelink::test {

class RebuildFolder : public ::testing::Test {
protected:
    std::string image() const { return dir.file("NEW-GAME.ISO"); }
    std::string list() const { return dir.file("GAME.ISO-relink-LSN.TXT"); }
    std::string records() const { return dir.file("GAME.ISO.xqe"); }
    void relink(const std::string& text, std::size_t record_bytes) {
        write_text(list(), text);
        write_bytes(records(), std::vector<std::byte>(record_bytes));
    }
    void build(const HandImage& recipe) { recipe.write(image()); }
    Expected<RebuildSummary> run() { return run_rebuild(dir.prefix(), "GAME.ISO"); }
    void expect_refused(const std::string& message, const std::string& why) {
        const auto before = fingerprint(image());
        EXPECT_EQ(failure(run()), message) << why;
        EXPECT_EQ(fingerprint(image()), before) << why;
    }
    ScratchDir dir;
};

} // namespace isorelink::test
