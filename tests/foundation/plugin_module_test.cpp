// Loads the built module as a host would and calls its six exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace {

using TextQuery = const char* (*)(const char*);
using IntQuery = std::int32_t (*)(std::int32_t);
using Job = void (*)(const char*, const char*, const char*, const char*);

class PluginModule : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(ISORELINK_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        // Jobs write their status file into $TMPDIR: keep it in our scratch folder.
        setenv("TMPDIR", scratch_.path().c_str(), 1);
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
        unsetenv("TMPDIR");
    }
    template <class F>
    F symbol(const char* name) {
        void* s = dlsym(handle_, name);
        EXPECT_NE(s, nullptr) << name;
        return reinterpret_cast<F>(s);
    }
    std::string status() { return isorelink::test::read_text(scratch_.file("errorcode.erc")); }

    void* handle_ = nullptr;
    isorelink::test::ScratchDir scratch_;
};

TEST_F(PluginModule, TextQueriesAnswerExactlyWhateverTheyAreGiven) {
    const auto open1 = symbol<TextQuery>("OnOpen1");
    const auto fileid = symbol<TextQuery>("Onfileid");
    const std::string filter = "ISO File(*.ISO)\x01*.ISO\x01"
                               "All files (*.*)\x01*.*\x01";
    ASSERT_EQ(filter.size(), 42u);
    for (const char* arg : {static_cast<const char*>(nullptr), "", "anything at all"}) {
        EXPECT_EQ(std::string(open1(arg)), filter);
        EXPECT_EQ(std::string(fileid(arg)), "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO");
    }
}

TEST_F(PluginModule, IntegerQueriesAlwaysAnswerOne) {
    const auto padding = symbol<IntQuery>("Onpadding");
    const auto opencheck = symbol<IntQuery>("Onopencheck");
    for (std::int32_t v : {0, 1, -1, INT32_MIN, INT32_MAX, 12345}) {
        EXPECT_EQ(padding(v), 1);
        EXPECT_EQ(opencheck(v), 1);
    }
}

TEST_F(PluginModule, EmptyImageNameTouchesNothingButTheStatusFile) {
    const auto extract = symbol<Job>("EXTRACTLBA");
    const auto rebuild = symbol<Job>("REBUILDLBA");
    isorelink::test::ScratchDir work;
    const std::string prefix = work.prefix();

    extract(prefix.c_str(), "", "x", "y");
    std::string s = status();
    ASSERT_EQ(s.size(), 2049u);
    EXPECT_EQ(s[0], '\x01');
    EXPECT_EQ(std::string(s.c_str() + 1), "Code 100a - Error No BigFile Selected ");

    rebuild(prefix.c_str(), nullptr, nullptr, nullptr);
    s = status();
    ASSERT_EQ(s.size(), 2049u);
    EXPECT_EQ(std::string(s.c_str() + 1), "Code 400a - Error No BigFile Selected ");
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
}

TEST_F(PluginModule, OverlongNamesAreRefusedWithACutMessage) {
    const auto extract = symbol<Job>("EXTRACTLBA");
    const auto rebuild = symbol<Job>("REBUILDLBA");
    const std::string folder(3000, 'f');
    extract(folder.c_str(), "GAME.ISO", nullptr, nullptr);
    const std::string s = status();
    ASSERT_EQ(s.size(), 2049u);
    EXPECT_EQ(s[0], '\x01');
    EXPECT_EQ(s.rfind("Code 1107 - name too long fff", 1), 1u);
    EXPECT_EQ(s.find('\0'), 2048u);  // cut to 2047 characters, the terminator fits

    rebuild("", std::string(2100, 'n').c_str(), nullptr, nullptr);
    EXPECT_EQ(status().rfind("Code 407 - name too long NEW-nnn", 1), 1u);
}

TEST_F(PluginModule, FailureThenSuccessResetsTheStatusFile) {
    const auto extract = symbol<Job>("EXTRACTLBA");
    const auto fileid = symbol<TextQuery>("Onfileid");
    isorelink::test::ScratchDir work;
    extract(work.prefix().c_str(), "MISSING.ISO", "", "");
    std::string s = status();
    EXPECT_EQ(s[0], '\x01');
    EXPECT_EQ(std::string(s.c_str() + 1), "Code 101e - Error Opening " + work.prefix() + "MISSING.ISO");
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    // Queries never touch the status file.
    fileid("");
    EXPECT_EQ(status(), s);
}

} // namespace
