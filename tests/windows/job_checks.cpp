// The jobs on kit images of every kind, in a folder given as a host gives it: products
// byte for byte the Linux build's.
#include <cstdio>

#include "host.h"

namespace host {

namespace {

const std::string kImage = "GAME.ISO";

void expect_same_file(Checks& checks, const std::string& got_path, const std::string& want_path,
                      const std::string& what) {
    const auto got = read_file(got_path), want = read_file(want_path);
    if (!checks.expect(got && want, what + ": both files exist", got_path + " and " + want_path)) return;
    std::size_t at = 0;
    while (at < got->size() && at < want->size() && (*got)[at] == (*want)[at]) ++at;
    checks.expect(*got == *want, what + ": byte-identical to the Linux build's",
                  got_path + " (" + std::to_string(got->size()) + " bytes) differs first at byte " +
                      std::to_string(at));
}

void check_kind(Checks& checks, const Module& module, const std::string& kit, const std::string& reference,
                const std::string& kind) {
    const std::string folder = kit + kind + "\\", ref = reference + kind + "\\";
    // A failure first, so that the success below shows the reset.
    module.extract(folder.c_str(), "NOT-THERE.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "NOT-THERE.ISO", kind + ": missing image");
    module.extract(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, false, "", kind + ": EXTRACTLBA succeeds after a failure");
    for (const char* product : {"-LSN.TXT", "-Filelist.txt", ".xqe"})
        expect_same_file(checks, folder + kImage + product, ref + kImage + product, kind + ": EXTRACTLBA " + product);
    checks.expect(!file_exists(folder + "temp1.tmp") && !file_exists(folder + "tmp.tmp"),
                  kind + ": the working files are deleted");
    module.rebuild(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, false, "", kind + ": REBUILDLBA succeeds");
    expect_same_file(checks, folder + "NEW-" + kImage, ref + "NEW-" + kImage, kind + ": REBUILDLBA NEW-" + kImage);
    expect_same_file(checks, folder + kImage, ref + kImage, kind + ": the source image is not written");

    // The image under a working file's name in another case, and a new image
    // that is a hard link to the source: refused, nothing written.
    const std::string upper = folder + "TEMP1.TMP";
    CopyFileA((folder + kImage).c_str(), upper.c_str(), FALSE);
    module.extract(folder.c_str(), "TEMP1.TMP", "", "");
    expect_status(checks, true, "Code 1109 - image is one of the job's own files " + folder + "temp1.tmp",
                  kind + ": an image that is the job's working file");
    expect_same_file(checks, upper, ref + kImage, kind + ": the image named as a working file is not written");
    DeleteFileA(upper.c_str());
    DeleteFileA((folder + "NEW-" + kImage).c_str());
    CreateHardLinkA((folder + "NEW-" + kImage).c_str(), (folder + kImage).c_str(), nullptr);
    module.rebuild(folder.c_str(), kImage.c_str(), "", "");
    expect_status(checks, true, "Code 410 - new image is one of the job's own files " + folder + kImage,
                  kind + ": a new image linked to the source");
    expect_same_file(checks, folder + kImage, ref + kImage, kind + ": the linked source image is not written");
    DeleteFileA((folder + "NEW-" + kImage).c_str());
}

} // namespace

int check_jobs(const Module& module, const std::string& kit, const std::string& reference) {
    if (const auto reason = read_file(kit + "UNAVAILABLE")) {
        std::printf("SKIPPED: the kit images and the Linux build's products are not available:\n%s\n", reason->c_str());
        return kSkip;
    }
    Checks checks("jobs");
    for (const char* kind : {"ps2cd", "ps2dvd", "pspumd"}) check_kind(checks, module, kit, reference, kind);
    return checks.finish();
}

} // namespace host
