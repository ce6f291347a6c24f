// The status file after each job call: reset at every start, one coded
// failure, 2049 bytes whatever was there before.
#include "host.h"

namespace host {

int check_status_file(const Module& module, const std::string& folder) {
    Checks checks("status");
    remove_tree(folder);
    make_folders(folder);
    const char* const dir = folder.c_str();
    write_file(kStatusPath, std::string(5000, '\xAA'));
    const struct {
        Job job;
        const char *folder, *image, *message;
    } no_image[] = {
        {module.extract, dir, "", "Code 100a - Error No BigFile Selected "},
        {module.extract, dir, nullptr, "Code 100a - Error No BigFile Selected "},
        {module.rebuild, dir, "", "Code 400a - Error No BigFile Selected "},
        {module.rebuild, nullptr, nullptr, "Code 400a - Error No BigFile Selected "},
    };
    for (const auto& call : no_image) {
        call.job(call.folder, call.image, nullptr, "ignored");
        expect_status(checks, true, call.message, std::string("no image: ") + call.message);
    }
    DeleteFileA(kStatusPath);  // created again when missing
    module.extract(dir, "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "MISSING.ISO", "EXTRACTLBA on a missing image");
    module.rebuild(dir, "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 401 - Error Opening " + folder + "NEW-MISSING.ISO", "REBUILDLBA on a missing new image");
    checks.expect(!file_exists(folder + "temp1.tmp") && !file_exists(folder + "MISSING.ISO-LSN.TXT"), "failed jobs write nothing");

    // A path longer than the message field: the text is cut, its terminator fits.
    module.extract(("C:\\" + std::string(3000, 'L') + "\\").c_str(), "GAME.ISO", "", "");
    const std::string bytes = read_file(kStatusPath).value_or("");
    checks.equal(static_cast<std::int64_t>(bytes.size()), 2049, "status file size after an over-long path");
    checks.equal(bytes.substr(0, 33), "\x01" "Code 1107 - name too long C:\\LLL", "the flag and the coded message");
    checks.equal(static_cast<std::int64_t>(bytes.find('\0')), 2048, "the message is cut and its terminator fits");
    remove_tree(folder);
    return checks.finish();
}

} // namespace host
