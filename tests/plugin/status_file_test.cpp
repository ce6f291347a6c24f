#include "plugin/status_file.h"

#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/status_location.h"
#include "support/test_support.h"

namespace {

using isorelink::test::read_text;

TEST(StatusFile, ResetFailureCutMessageAndOverlongFolder) {
    isorelink::test::ScratchDir dir;
    const std::string path = dir.file("a/b/errorcode.erc");
    isorelink::reset_status_file(path);
    EXPECT_EQ(read_text(path), std::string(2049, '\0'));
    isorelink::report_failure(path, std::string(5000, 'x'));
    EXPECT_EQ(read_text(path), "\x01" + std::string(2047, 'x') + '\0');
    isorelink::reset_status_file(path);
    EXPECT_EQ(read_text(path), std::string(2049, '\0'));
    EXPECT_FALSE(isorelink::platform::create_folders_along(dir.prefix() + std::string(2100, 'x') + "/f"));
}

TEST(StatusFile, PosixLocationFallsBackToTmp) {
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(isorelink::platform::status_file_path(), "/tmp/errorcode.erc");
    unsetenv("TMPDIR");
    EXPECT_EQ(isorelink::platform::status_file_path(), "/tmp/errorcode.erc");
}

} // namespace
