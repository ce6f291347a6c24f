// The jobs on kit images of every kind, in a folder given as a host gives it: products
// byte for byte the Linux build's; then every failure a host can provoke, with its text.
#include <cstdio>

#include "host.h"

namespace host {

namespace {

const std::string kImage = "GAME.ISO";

void expect_same_file(Checks& checks, const std::string& got_path, const std::string& want_path, const std::string& what) {
    const auto got = read_file(got_path), want = read_file(want_path);
    if (!checks.expect(got && want, what + ": both files exist", got_path + " and " + want_path)) return;
    std::size_t at = 0;
    while (at < got->size() && at < want->size() && (*got)[at] == (*want)[at]) ++at;
    checks.expect(*got == *want, what + ": byte-identical to the Linux build's",
                  got_path + " (" + std::to_string(got->size()) + " bytes) differs first at byte " + std::to_string(at));
}

std::string failure_folder(const std::string& kit, const std::string& kind, const std::string& name) {
    const std::string folder = kit + "fail-" + name + "\\";
    remove_tree(folder);
    make_folders(folder);
    CopyFileA((kit + kind + "\\" + kImage).c_str(), (folder + kImage).c_str(), FALSE);
    return folder;
}

void check_kind(Checks& checks, const Module& module, const std::string& kit, const std::string& reference, const std::string& kind) {
    const std::string folder = kit + kind + "\\", ref = reference + kind + "\\";
    // A failure first, so that the success below shows the reset.
    module.extract(folder.c_str(), "NOT-THERE.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "NOT-THERE.ISO", kind + ": missing image");
    module.extract(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, false, "", kind + ": EXTRACTLBA succeeds after a failure");
    for (const char* product : {"-LSN.TXT", "-Filelist.txt", ".xqe"})
        expect_same_file(checks, folder + kImage + product, ref + kImage + product, kind + ": EXTRACTLBA " + product);
    checks.expect(!file_exists(folder + "temp1.tmp") && !file_exists(folder + "tmp.tmp"), kind + ": the working files are deleted");
    module.rebuild(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, false, "", kind + ": REBUILDLBA succeeds");
    expect_same_file(checks, folder + "NEW-" + kImage, ref + "NEW-" + kImage, kind + ": REBUILDLBA NEW-" + kImage);
    expect_same_file(checks, folder + kImage, ref + kImage, kind + ": the source image is not written");
}

void check_failures(Checks& checks, const Module& module, const std::string& kit, const std::string& reference, const std::string& kind) {
    const std::string original = reference + kind + "\\" + kImage;
    std::string folder = failure_folder(kit, kind, "header");
    write_file(folder + "BAD.ISO", std::string(70000, '\0'));
    module.extract(folder.c_str(), "BAD.ISO", "", "");
    expect_status(checks, true, "Code 1101a - invalid file header " + folder + "BAD.ISO", "an image of no kind");
    checks.expect(!file_exists(folder + "BAD.ISO-LSN.TXT"), "an image of no kind gets no listing");
    remove_tree(folder);

    // Each output the extraction creates, blocked by a folder of its name.
    const std::pair<const char*, const char*> outputs[] = {{"temp1.tmp", "Code 1101b - Error Opening "},
                                                           {"GAME.ISO-LSN.TXT", "Code 1101c - Error Opening "},
                                                           {"GAME.ISO-Filelist.txt", "Code 1101d - Error Opening "},
                                                           {"tmp.tmp", "Code 1101e - Error Opening "},
                                                           {"GAME.ISO.xqe", "Code 1104- Error Opening "}};
    for (const auto& [blocked, code] : outputs) {
        folder = failure_folder(kit, kind, blocked);
        CreateDirectoryA((folder + blocked).c_str(), nullptr);
        module.extract(folder.c_str(), kImage.c_str(), "", "");
        expect_status(checks, true, code + folder + blocked, std::string("EXTRACTLBA when ") + blocked + " cannot be created");
        expect_same_file(checks, folder + kImage, original, std::string("the image is not written (") + blocked + ")");
        remove_tree(folder);
    }

    folder = failure_folder(kit, kind, "relink");
    CopyFileA((folder + kImage).c_str(), (folder + "NEW-" + kImage).c_str(), FALSE);
    module.rebuild(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, true, "Code 402 - Error Opening " + folder + kImage + "-relink-LSN.TXT", "REBUILDLBA without a relink list");
    expect_same_file(checks, folder + "NEW-" + kImage, original, "a refused rebuild writes nothing (402)");
    CopyFileA((kit + kind + "\\" + kImage + "-relink-LSN.TXT").c_str(), (folder + kImage + "-relink-LSN.TXT").c_str(), FALSE);
    module.rebuild(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, true, "Code 404- Error Opening " + folder + kImage + ".xqe", "REBUILDLBA without a record file");
    expect_same_file(checks, folder + "NEW-" + kImage, original, "a refused rebuild writes nothing (404)");
    remove_tree(folder);
}

} // namespace

int check_jobs(const Module& module, const std::string& kit, const std::string& reference) {
    if (const auto reason = read_file(kit + "UNAVAILABLE")) {
        std::printf("SKIPPED: the kit images and the Linux build's products are not available:\n%s\n", reason->c_str());
        return kSkip;
    }
    Checks checks("jobs");
    for (const char* kind : {"ps2cd", "ps2dvd", "pspumd"}) check_kind(checks, module, kit, reference, kind);
    check_failures(checks, module, kit, reference, "ps2cd");
    return checks.finish();
}

} // namespace host
