// The module's jobs never destroy what they do not own: an image that is one
// of a job's own files (by name, hard link or symbolic link), and a status
// file that someone planted as a link, a FIFO or a file with other links.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "kit/image_builder.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Job = void (*)(const char*, const char*, const char*, const char*);
using isorelink::test::fingerprint;

// Every file of a folder with its fingerprint (links as their target's text).
std::map<std::string, std::uint64_t> snapshot(const fs::path& folder) {
    std::map<std::string, std::uint64_t> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto name = entry.path().filename().string();
        files[name] = entry.is_symlink() ? std::hash<std::string>{}(fs::read_symlink(entry.path()).string())
                                         : fingerprint(entry.path().string());
    }
    return files;
}

class JobSafety : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(ISORELINK_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        extract_ = reinterpret_cast<Job>(dlsym(handle_, "EXTRACTLBA"));
        rebuild_ = reinterpret_cast<Job>(dlsym(handle_, "REBUILDLBA"));
        setenv("TMPDIR", status_dir_.path().c_str(), 1);
        isorelink::kit::ImageRecipe recipe;
        recipe.kind = isorelink::ImageKind::Ps2Dvd;
        recipe.files.push_back({});
        recipe.files.back().path = "\\SYSTEM.CNF";
        recipe.files.back().pattern = isorelink::kit::ContentPattern::Pattern;
        recipe.files.back().size = 100;
        const auto built = isorelink::kit::write_image(recipe, work_.file("G.ISO"));
        ASSERT_TRUE(built) << built.error().message;
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        if (handle_ != nullptr) dlclose(handle_);
    }
    std::string status_path() const { return status_dir_.file("errorcode.erc"); }
    std::string message() { return isorelink::test::read_text(status_path()).c_str() + 1; }

    void* handle_ = nullptr;
    Job extract_ = nullptr, rebuild_ = nullptr;
    isorelink::test::ScratchDir status_dir_, work_;
};

TEST_F(JobSafety, AnImageThatIsOneOfTheJobsOwnFilesIsRefusedAndNothingIsTouched) {
    const std::string image = work_.file("G.ISO");
    // The image under a working file's name, and reached through links named as the products.
    fs::copy_file(image, work_.file("temp1.tmp"));
    fs::copy_file(image, work_.file("tmp.tmp"));
    struct Case {
        std::string image_name, own_file;
        std::function<void()> plant;
    };
    const Case cases[] = {
        {"temp1.tmp", "temp1.tmp", [] {}},
        {"tmp.tmp", "tmp.tmp", [] {}},
        {"G.ISO", "G.ISO-LSN.TXT", [&] { fs::create_hard_link(image, work_.file("G.ISO-LSN.TXT")); }},
        {"G.ISO", "G.ISO.xqe", [&] { fs::create_symlink("G.ISO", work_.file("G.ISO.xqe")); }},
    };
    for (const auto& c : cases) {
        for (const char* name : {"G.ISO-LSN.TXT", "G.ISO.xqe"}) fs::remove(work_.file(name));
        c.plant();
        const auto before = snapshot(work_.path());
        extract_(work_.prefix().c_str(), c.image_name.c_str(), nullptr, nullptr);
        EXPECT_EQ(message(), "Code 1109 - image is one of the job's own files " + work_.file(c.own_file));
        EXPECT_EQ(snapshot(work_.path()), before) << c.image_name << " / " << c.own_file;
    }
}

TEST_F(JobSafety, ANewImageThatIsTheSourceOrAnInputOfTheRebuildIsRefusedUnchanged) {
    for (const char* name : {"G.ISO-LSN.TXT", "G.ISO.xqe"}) fs::remove(work_.file(name));
    extract_(work_.prefix().c_str(), "G.ISO", nullptr, nullptr);
    ASSERT_EQ(message(), "");
    fs::copy_file(work_.file("G.ISO-LSN.TXT"), work_.file("G.ISO-relink-LSN.TXT"));
    const std::pair<std::string, bool> targets[] = {
        {"G.ISO", true}, {"G.ISO", false}, {"G.ISO-relink-LSN.TXT", false}, {"G.ISO.xqe", true}};
    for (const auto& [target, hard] : targets) {
        fs::remove(work_.file("NEW-G.ISO"));
        if (hard) fs::create_hard_link(work_.file(target), work_.file("NEW-G.ISO"));
        else fs::create_symlink(target, work_.file("NEW-G.ISO"));
        const auto before = snapshot(work_.path());
        rebuild_(work_.prefix().c_str(), "G.ISO", nullptr, nullptr);
        EXPECT_EQ(message(), "Code 410 - new image is one of the job's own files " + work_.file(target));
        EXPECT_EQ(snapshot(work_.path()), before) << target;
    }
    fs::remove(work_.file("NEW-G.ISO"));
    fs::copy_file(work_.file("G.ISO"), work_.file("NEW-G.ISO"));
    rebuild_(work_.prefix().c_str(), "G.ISO", nullptr, nullptr);
    EXPECT_EQ(message(), "");
}

// A status file someone planted before the job: the job leaves it as it is and does not run.
struct Plant {
    const char* name;
    void (*plant)(const std::string& status, const std::string& victim);
    friend void PrintTo(const Plant& c, std::ostream* out) { *out << c.name; }
};

struct PlantedStatusFile : JobSafety, ::testing::WithParamInterface<Plant> {};

TEST_P(PlantedStatusFile, IsLeftAloneAndNoJobRuns) {
    const std::string victim = work_.file("victim");
    isorelink::test::write_text(victim, "precious");
    GetParam().plant(status_path(), victim);
    if (!fs::exists(fs::symlink_status(status_path()))) GTEST_SKIP() << "only root can plant another user's file";
    const auto before = fs::symlink_status(status_path()).type();
    extract_(work_.prefix().c_str(), "G.ISO", nullptr, nullptr);
    EXPECT_FALSE(fs::exists(work_.file("G.ISO-LSN.TXT"))) << "the job ran";
    EXPECT_EQ(isorelink::test::read_text(victim), "precious");
    EXPECT_EQ(fs::symlink_status(status_path()).type(), before);
}

INSTANTIATE_TEST_SUITE_P(
    JobSafety, PlantedStatusFile,
    ::testing::Values(
        Plant{"SymbolicLink", [](const std::string& s, const std::string& v) { fs::create_symlink(v, s); }},
        Plant{"HardLink", [](const std::string& s, const std::string& v) { fs::create_hard_link(v, s); }},
        Plant{"Fifo", [](const std::string& s, const std::string&) { mkfifo(s.c_str(), 0600); }},
        Plant{"AnotherUsersFile",
              [](const std::string& s, const std::string&) {
                  if (geteuid() != 0) return;
                  isorelink::test::write_text(s, "theirs");
                  if (chown(s.c_str(), 65534, 65534) != 0) std::perror("chown");
              }}),
    isorelink::test::case_name<Plant>);

TEST_F(JobSafety, TheStatusFileAJobCreatesIsPrivate) {
    rebuild_(work_.prefix().c_str(), "G.ISO", nullptr, nullptr);  // fails: no new image
    struct stat st {};
    ASSERT_EQ(stat(status_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(message(), "Code 401 - Error Opening " + work_.file("NEW-G.ISO"));
}

} // namespace
