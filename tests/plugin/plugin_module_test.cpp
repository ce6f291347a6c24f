#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "support/test_support.h"

namespace {

using Job = void (*)(const char*, const char*, const char*, const char*);

class PluginModule : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(ISORELINK_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        setenv("TMPDIR", scratch_.path().c_str(), 1);  // the status file lands in our scratch folder
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        if (handle_ != nullptr) dlclose(handle_);
    }
    template <class F> F symbol(const char* name) {
        void* s = dlsym(handle_, name);
        EXPECT_NE(s, nullptr) << name;
        return reinterpret_cast<F>(s);
    }
    std::string status() { return isorelink::test::read_text(scratch_.file("errorcode.erc")); }
    void* handle_ = nullptr;
    isorelink::test::ScratchDir scratch_;
};

TEST_F(PluginModule, QueriesAnswerExactlyWhateverTheyAreGiven) {
    const std::string filter("ISO File(*.ISO)\x01*.ISO\x01" "All files (*.*)\x01*.*\x01", 42);
    EXPECT_EQ(std::string(symbol<const char* (*)(const char*)>("OnOpen1")(nullptr)), filter);
    EXPECT_EQ(std::string(symbol<const char* (*)(const char*)>("Onfileid")("anything")),
              "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO");
    for (std::int32_t v : {0, 1, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(symbol<std::int32_t (*)(std::int32_t)>("Onpadding")(v), 1);
        EXPECT_EQ(symbol<std::int32_t (*)(std::int32_t)>("Onopencheck")(v), 1);
    }
}

// A job that fails before it starts: its coded message reaches the status file and nothing else is written.
struct EarlyFailure {
    const char* name;
    bool rebuild;
    std::string folder, image;  // "{work}": the scratch folder as the job's prefix
    std::string message;        // what the status file's message starts with, "{work}" filled in
    friend void PrintTo(const EarlyFailure& c, std::ostream* out) { *out << c.name; }
};

struct JobFailure : PluginModule, ::testing::WithParamInterface<EarlyFailure> {};

TEST_P(JobFailure, ReachesOnlyTheStatusFile) {
    isorelink::test::ScratchDir work;
    const auto filled = [&](std::string text) {
        if (const auto at = text.find("{work}"); at != std::string::npos) text.replace(at, 6, work.prefix());
        return text;
    };
    const std::string folder = filled(GetParam().folder), image = filled(GetParam().image);
    const auto job = symbol<Job>(GetParam().rebuild ? "REBUILDLBA" : "EXTRACTLBA");
    job(folder.c_str(), image.empty() ? nullptr : image.c_str(), nullptr, nullptr);
    const std::string s = status();
    EXPECT_EQ(s[0], '\x01');
    const std::string expected = filled(GetParam().message);
    EXPECT_EQ(std::string(s.c_str() + 1).substr(0, expected.size()), expected);
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
}

INSTANTIATE_TEST_SUITE_P(
    PluginModule, JobFailure,
    ::testing::Values(
        EarlyFailure{"ExtractionWithoutAnImage", false, "{work}", "", "Code 100a - Error No BigFile Selected "},
        EarlyFailure{"ExtractionOfAMissingImage", false, "{work}", "NONE.ISO",
                     "Code 101e - Error Opening {work}NONE.ISO"},
        EarlyFailure{"RebuildWithoutAnImage", true, "{work}", "", "Code 400a - Error No BigFile Selected "},
        EarlyFailure{"ExtractionInAFolderNameTooLong", false, std::string(3000, 'f'), "GAME.ISO",
                     "Code 1107 - name too long fff"},
        EarlyFailure{"RebuildOfAnImageNameTooLong", true, "", std::string(2100, 'n'),
                     "Code 407 - name too long NEW-nnn"}),
    isorelink::test::case_name<EarlyFailure>);

TEST_F(PluginModule, QueriesNeverTouchTheStatusFile) {
    symbol<Job>("REBUILDLBA")("", std::string(2100, 'n').c_str(), nullptr, nullptr);
    const std::string before = status();
    symbol<const char* (*)(const char*)>("Onfileid")("");
    EXPECT_EQ(status(), before);
}

} // namespace
