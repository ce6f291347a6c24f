#include "plugin/status_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/folders.h"
#include "platform/status_location.h"
#include "support/test_support.h"

namespace {

using isorelink::test::read_text;
using isorelink::test::ScratchDir;

TEST(StatusFile, ResetWritesFlagZeroAndZeroMessageCreatingFolders) {
    ScratchDir dir;
    const std::string path = dir.file("a/b/errorcode.erc");
    isorelink::reset_status_file(path);
    const std::string s = read_text(path);
    EXPECT_EQ(s, std::string(2049, '\0'));
}

TEST(StatusFile, FailureWritesFlagAndZeroPaddedMessage) {
    ScratchDir dir;
    const std::string path = dir.file("errorcode.erc");
    isorelink::reset_status_file(path);
    isorelink::report_failure(path, "Code 101e - Error Opening X");
    const std::string s = read_text(path);
    ASSERT_EQ(s.size(), 2049u);
    EXPECT_EQ(s[0], '\x01');
    EXPECT_EQ(s.substr(1, 27), "Code 101e - Error Opening X");
    EXPECT_EQ(s.substr(28), std::string(2049 - 28, '\0'));
    // The next job's reset clears it all.
    isorelink::reset_status_file(path);
    EXPECT_EQ(read_text(path), std::string(2049, '\0'));
}

TEST(StatusFile, LongMessageIsCutSoItsTerminatorFits) {
    ScratchDir dir;
    const std::string path = dir.file("errorcode.erc");
    isorelink::report_failure(path, std::string(5000, 'x'));
    const std::string s = read_text(path);
    ASSERT_EQ(s.size(), 2049u);
    EXPECT_EQ(s.substr(1, 2047), std::string(2047, 'x'));
    EXPECT_EQ(s[2048], '\0');
}

TEST(StatusFile, PosixLocationFollowsTmpdir) {
    setenv("TMPDIR", "/some/where/", 1);
    EXPECT_EQ(isorelink::platform::status_file_path(), "/some/where/errorcode.erc");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(isorelink::platform::status_file_path(), "/tmp/errorcode.erc");
    unsetenv("TMPDIR");
    EXPECT_EQ(isorelink::platform::status_file_path(), "/tmp/errorcode.erc");
}

TEST(FolderCreation, CreatesEveryFolderBeforeASeparatorAndNothingElse) {
    ScratchDir dir;
    namespace fs = std::filesystem;
    const std::string base = dir.prefix();

    // No separator: nothing is created (a bare relative name).
    EXPECT_TRUE(isorelink::platform::create_folders_along("plainname"));
    EXPECT_FALSE(fs::exists("plainname"));

    // The file name after the last separator is never created.
    isorelink::platform::create_folders_along(base + "one/two/file.erc");
    EXPECT_TRUE(fs::is_directory(base + "one/two"));
    EXPECT_FALSE(fs::exists(base + "one/two/file.erc"));

    // A trailing separator creates the last folder too; existing folders are fine.
    isorelink::platform::create_folders_along(base + "one/two/three/");
    EXPECT_TRUE(fs::is_directory(base + "one/two/three"));

    // A prefix too long for a path buffer is not attempted.
    EXPECT_FALSE(isorelink::platform::create_folders_along(base + std::string(2100, 'x') + "/f"));
}

} // namespace
