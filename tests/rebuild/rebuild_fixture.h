#pragma once
// A folder holding NEW-GAME.ISO, its relink list and its record file, and the
// rebuild job run over them.
#include <gtest/gtest.h>

#include <string>

#include "rebuild/hand_image.h"
#include "rebuild/rebuild_job.h"
#include "support/test_support.h"

namespace isorelink::test {

class RebuildFolder : public ::testing::Test {
protected:
    std::string image() const { return dir.file("NEW-GAME.ISO"); }
    std::string list() const { return dir.file("GAME.ISO-relink-LSN.TXT"); }
    std::string records() const { return dir.file("GAME.ISO.xqe"); }

    // The relink list and a record file of `record_bytes` bytes.
    void relink(const std::string& text, std::size_t record_bytes) {
        write_text(list(), text);
        write_bytes(records(), std::vector<std::byte>(record_bytes));
    }
    void build(const HandImage& recipe) { write_hand_image(image(), recipe); }
    Expected<RebuildSummary> run() { return run_rebuild(dir.prefix(), "GAME.ISO"); }

    ScratchDir dir;
};

} // namespace isorelink::test
