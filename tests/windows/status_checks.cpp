// The status file as a host reads it after each job call: reset at every
// start, one coded failure, 2049 bytes whatever was there before.
#include <windows.h>

#include <string>

#include "host_checks.h"
#include "host_support.h"

namespace host {

int check_status_file(const Module& module, const std::string& folder) {
    Checks checks("status");
    remove_tree(folder);
    make_folders(folder);
    const char* const dir = folder.c_str();

    // Whatever the file held before, a job leaves exactly 2049 bytes.
    write_file(kStatusPath, std::string(5000, '\xAA'));
    const struct {
        Job job;
        const char* folder;
        const char* image;
        const char* message;
        const char* what;
    } no_image[] = {
        {module.extract, dir, "", "Code 100a - Error No BigFile Selected ", "EXTRACTLBA with an empty image name"},
        {module.extract, dir, nullptr, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA with a null image name"},
        {module.rebuild, dir, "", "Code 400a - Error No BigFile Selected ", "REBUILDLBA with an empty image name"},
        {module.rebuild, nullptr, nullptr, "Code 400a - Error No BigFile Selected ", "REBUILDLBA with null arguments"},
    };
    for (const auto& call : no_image) {
        call.job(call.folder, call.image, nullptr, "ignored");
        expect_status(checks, true, call.message, call.what);
    }

    // The file is created again when it is missing.
    DeleteFileA(kStatusPath);
    module.extract(dir, "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "MISSING.ISO",
                  "EXTRACTLBA on a missing image (status file deleted before)");
    checks.expect(folder_is_empty(folder), "a failed extraction that could not open its image writes nothing");
    module.rebuild(dir, "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 401 - Error Opening " + folder + "NEW-MISSING.ISO",
                  "REBUILDLBA on a missing new image");
    checks.expect(folder_is_empty(folder), "a failed rebuild writes nothing");

    // A path longer than the message field: the text is cut, its terminator
    // still fits, nothing is written past the 2049 bytes.
    const std::string long_folder = "C:\\" + std::string(3000, 'L') + "\\";
    module.extract(long_folder.c_str(), "GAME.ISO", "", "");
    const std::string bytes = read_file(kStatusPath).value_or("");
    checks.equal(static_cast<std::int64_t>(bytes.size()), 2049, "status file size after an over-long path");
    const std::string start = "\x01" "Code 1107 - name too long C:\\LLL";
    checks.equal(bytes.substr(0, start.size()), start, "the flag and the coded message");
    checks.equal(static_cast<std::int64_t>(bytes.find('\0')), 2048, "the message is cut and its terminator fits");

    remove_tree(folder);
    return checks.finish();
}

} // namespace host
