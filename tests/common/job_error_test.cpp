// Messages are filled hole by hole, keep their kind, and always fit the
// 2048-byte buffers the host reads them into.
#include <gtest/gtest.h>

#include <string>

#include "common/job_error.h"
#include "common/messages.h"

namespace isorelink {
namespace {

TEST(JobError, FillsEachHoleInTurnAndKeepsTheKind) {
    const auto e = job_error(msg::kInvalidRelinkLine, {"12", "C:\\ISO\\GAME.ISO-relink-LSN.TXT", "why"});
    EXPECT_EQ(e.message, "Code 405 - invalid relink line 12 C:\\ISO\\GAME.ISO-relink-LSN.TXT (why)");
    EXPECT_EQ(e.kind, ErrorKind::BadInput);
    EXPECT_EQ(job_error(msg::kOpenImage, "GAME.ISO").kind, ErrorKind::Io);
    EXPECT_EQ(job_error(msg::kBadHeader, "GAME.ISO").kind, ErrorKind::BadImage);
}

TEST(JobError, AnArgumentHoldingAHoleIsNotFilledAgain) {
    EXPECT_EQ(job_error(msg::kReplaceNotInImage, {"\\A%s", "B.ISO"}).message, "replace: \\A%s is not a file in B.ISO");
}

TEST(JobError, MissingArgumentsLeaveTheirHoleEmpty) {
    EXPECT_EQ(job_error(msg::kOpenImage).message, "Code 101e - Error Opening ");
    EXPECT_EQ(job_error(msg::kNoImageExtract, "ignored").message, "Code 100a - Error No BigFile Selected ");
}

TEST(JobError, ALongPathIsCutToTheBuffer) {
    const std::string path(5000, 'P');
    EXPECT_EQ(job_error(msg::kOpenImage, path).message.size(), kMaxText);
    const auto structure = structure_error(path, "directory record past its sector");
    EXPECT_EQ(structure.message.size(), kMaxText);
    EXPECT_TRUE(structure.message.ends_with("P (directory record past its sector)")) << "the reason survives the cut";
    EXPECT_EQ(structure.kind, ErrorKind::BadImage);
}

TEST(JobError, APrefixKeepsTheLowerKind) {
    const auto e = with_prefix("replace: ", job_error(msg::kCannotRead, "A.BIN"));
    EXPECT_EQ(e.message, "replace: cannot read A.BIN");
    EXPECT_EQ(e.kind, ErrorKind::Io);
}

} // namespace
} // namespace isorelink
