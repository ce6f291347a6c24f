#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

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

TEST_F(PluginModule, JobFailuresReachOnlyTheStatusFile) {
    const auto extract = symbol<Job>("EXTRACTLBA"), rebuild = symbol<Job>("REBUILDLBA");
    isorelink::test::ScratchDir work;
    const std::string prefix = work.prefix();
    const std::string long_folder(3000, 'f'), long_image(2100, 'n');
    struct Case { Job job; const char* folder; const char* image; std::string message; };
    const Case cases[] = {
        {extract, prefix.c_str(), nullptr, "Code 100a - Error No BigFile Selected "},
        {extract, prefix.c_str(), "NONE.ISO", "Code 101e - Error Opening " + prefix + "NONE.ISO"},
        {rebuild, prefix.c_str(), nullptr, "Code 400a - Error No BigFile Selected "},
        {extract, long_folder.c_str(), "GAME.ISO", "Code 1107 - name too long fff"},
        {rebuild, "", long_image.c_str(), "Code 407 - name too long NEW-nnn"},
    };
    for (const auto& c : cases) {
        c.job(c.folder, c.image, nullptr, nullptr);
        const std::string s = status();
        EXPECT_EQ(s[0], '\x01');
        EXPECT_EQ(std::string(s.c_str() + 1).rfind(c.message, 0), 0u) << s.c_str() + 1;
    }
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    symbol<const char* (*)(const char*)>("Onfileid")("");  // queries never touch the status file
    EXPECT_EQ(std::string(status().c_str() + 1).rfind("Code 407", 0), 0u);
}

} // namespace
