// The two jobs on kit images of every kind, called the way a host calls
// them: a folder with backslashes and its trailing backslash, then the image
// name. Their products must be byte for byte the Linux build's for the same
// images (tests/windows/prepare_kit.py wrote both). Then every kind of
// failure that a host can provoke from outside, each with its status text.
#include <windows.h>

#include <string>

#include "host_checks.h"
#include "host_support.h"

namespace host {

namespace {

constexpr const char* kKinds[] = {"ps2cd", "ps2dvd", "pspumd"};
constexpr const char* kImage = "GAME.ISO";

void expect_same_file(Checks& checks, const std::string& got_path, const std::string& want_path,
                      const std::string& what) {
    const auto got = read_file(got_path);
    const auto want = read_file(want_path);
    if (!checks.expect(want.has_value(), what + ": reference exists", want_path)) return;
    if (!checks.expect(got.has_value(), what + ": file exists", got_path)) return;
    if (*got == *want) {
        checks.expect(true, what);
        return;
    }
    std::size_t at = 0;
    while (at < got->size() && at < want->size() && (*got)[at] == (*want)[at]) ++at;
    checks.expect(false, what + ": byte-identical to the Linux build's",
                  got_path + " (" + std::to_string(got->size()) + " bytes) and " + want_path + " (" +
                      std::to_string(want->size()) + " bytes) differ first at byte " + std::to_string(at));
}

// A fresh folder beside the kinds holding a copy of one kind's image.
std::string failure_folder(const std::string& kit, const std::string& kind, const std::string& name) {
    const std::string folder = kit + "fail-" + name + "\\";
    remove_tree(folder);
    make_folder(folder.substr(0, folder.size() - 1));
    CopyFileA((kit + kind + "\\" + kImage).c_str(), (folder + kImage).c_str(), FALSE);
    return folder;
}

void check_kind(Checks& checks, const Module& module, const std::string& kit, const std::string& reference,
                const std::string& kind) {
    const std::string folder = kit + kind + "\\";
    const std::string ref = reference + kind + "\\";
    const std::string image = std::string(kImage);

    // A failure first, so that the success below shows the reset.
    module.extract(folder.c_str(), "NOT-THERE.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "NOT-THERE.ISO", kind + ": missing image");

    module.extract(folder.c_str(), kImage, "", "");
    expect_status(checks, false, "", kind + ": EXTRACTLBA succeeds after a failure");
    for (const char* product : {"-LSN.TXT", "-Filelist.txt", ".xqe"}) {
        expect_same_file(checks, folder + image + product, ref + image + product, kind + ": EXTRACTLBA " + product);
    }
    checks.expect(!file_exists(folder + "temp1.tmp") && !file_exists(folder + "tmp.tmp"),
                  kind + ": the working files are deleted at the end");
    expect_same_file(checks, folder + image, ref + image, kind + ": the image is not written");

    module.rebuild(folder.c_str(), kImage, "", "");
    expect_status(checks, false, "", kind + ": REBUILDLBA succeeds");
    expect_same_file(checks, folder + "NEW-" + image, ref + "NEW-" + image, kind + ": REBUILDLBA NEW-" + image);
    expect_same_file(checks, folder + image, ref + image, kind + ": the source image is not opened by the rebuild");
}

void check_failures(Checks& checks, const Module& module, const std::string& kit, const std::string& reference,
                    const std::string& kind) {
    const std::string image = kImage;
    const std::string original = reference + kind + "\\" + image;

    {
        const std::string folder = failure_folder(kit, kind, "header");
        write_file(folder + "BAD.ISO", std::string(70000, '\0'));
        module.extract(folder.c_str(), "BAD.ISO", "", "");
        expect_status(checks, true, "Code 1101a - invalid file header " + folder + "BAD.ISO", "an image of no kind");
        checks.expect(!file_exists(folder + "BAD.ISO-LSN.TXT"), "an image of no kind gets no listing");
        remove_tree(folder);
    }

    // Each output the extraction creates, blocked by a folder of its name.
    const struct {
        const char* name;
        const char* blocked;
        const char* code;
    } outputs[] = {
        {"b", "temp1.tmp", "Code 1101b - Error Opening "},
        {"c", "GAME.ISO-LSN.TXT", "Code 1101c - Error Opening "},
        {"d", "GAME.ISO-Filelist.txt", "Code 1101d - Error Opening "},
        {"e", "tmp.tmp", "Code 1101e - Error Opening "},
        {"xqe", "GAME.ISO.xqe", "Code 1104- Error Opening "},
    };
    for (const auto& output : outputs) {
        const std::string folder = failure_folder(kit, kind, output.name);
        make_folder(folder + output.blocked);
        module.extract(folder.c_str(), kImage, "", "");
        expect_status(checks, true, output.code + folder + output.blocked,
                      std::string("EXTRACTLBA when ") + output.blocked + " cannot be created");
        expect_same_file(checks, folder + image, original, std::string("the image is not written (") + output.name + ")");
        remove_tree(folder);
    }

    {
        const std::string folder = failure_folder(kit, kind, "relink");
        CopyFileA((folder + image).c_str(), (folder + "NEW-" + image).c_str(), FALSE);
        module.rebuild(folder.c_str(), kImage, "", "");
        expect_status(checks, true, "Code 402 - Error Opening " + folder + image + "-relink-LSN.TXT",
                      "REBUILDLBA without a relink list");
        expect_same_file(checks, folder + "NEW-" + image, original, "a refused rebuild writes nothing (402)");

        CopyFileA((kit + kind + "\\" + image + "-relink-LSN.TXT").c_str(), (folder + image + "-relink-LSN.TXT").c_str(),
                  FALSE);
        module.rebuild(folder.c_str(), kImage, "", "");
        expect_status(checks, true, "Code 404- Error Opening " + folder + image + ".xqe",
                      "REBUILDLBA without a record file");
        expect_same_file(checks, folder + "NEW-" + image, original, "a refused rebuild writes nothing (404)");
        remove_tree(folder);
    }
}

} // namespace

int check_jobs(const Module& module, const std::string& kit, const std::string& reference) {
    if (const auto reason = read_file(kit + "UNAVAILABLE")) {
        std::printf("SKIPPED: the kit images and the Linux build's products are not available:\n%s\n",
                    reason->c_str());
        return kSkip;
    }
    Checks checks("jobs");
    std::string usable;
    int skipped = 0;
    for (const char* kind : kKinds) {
        if (const auto reason = read_file(kit + kind + "\\UNAVAILABLE")) {
            std::printf("SKIPPED %s: the Linux build failed on this kind's kit image:\n%s\n", kind, reason->c_str());
            ++skipped;
            continue;
        }
        check_kind(checks, module, kit, reference, kind);
        if (usable.empty()) usable = kind;
    }
    if (!usable.empty()) check_failures(checks, module, kit, reference, usable);
    const int result = checks.finish();
    return result == kPass && skipped > 0 ? kSkip : result;
}

} // namespace host
