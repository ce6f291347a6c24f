// The status file as a host reads it after each job call: reset at every
// start, one coded failure, 2049 bytes whatever was there before.
#include <windows.h>

#include <string>

#include "host_checks.h"
#include "host_support.h"

namespace host {

namespace {

// Creates every folder along a path that ends in a backslash.
void make_folders(const std::string& folder) {
    for (std::size_t i = 3; i < folder.size(); ++i) {
        if (folder[i] == '\\') make_folder(folder.substr(0, i));
    }
}

bool folder_is_empty(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

} // namespace

int check_status_file(const Module& module, const std::string& folder) {
    Checks checks("status");
    remove_tree(folder);
    make_folders(folder);

    // Whatever the file held before, a job leaves exactly 2049 bytes.
    write_file(kStatusPath, std::string(5000, '\xAA'));
    module.extract(folder.c_str(), "", nullptr, nullptr);
    expect_status(checks, true, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA with an empty image name");
    module.extract(folder.c_str(), nullptr, "ignored", "ignored");
    expect_status(checks, true, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA with a null image name");
    module.rebuild(folder.c_str(), "", nullptr, nullptr);
    expect_status(checks, true, "Code 400a - Error No BigFile Selected ", "REBUILDLBA with an empty image name");
    module.rebuild(nullptr, nullptr, nullptr, nullptr);
    expect_status(checks, true, "Code 400a - Error No BigFile Selected ", "REBUILDLBA with null arguments");

    // The file is created again when it is missing.
    DeleteFileA(kStatusPath);
    module.extract(folder.c_str(), "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 101e - Error Opening " + folder + "MISSING.ISO",
                  "EXTRACTLBA on a missing image (status file deleted before)");
    checks.expect(folder_is_empty(folder), "a failed extraction that could not open its image writes nothing");
    module.rebuild(folder.c_str(), "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 401 - Error Opening " + folder + "NEW-MISSING.ISO",
                  "REBUILDLBA on a missing new image");
    checks.expect(folder_is_empty(folder), "a failed rebuild writes nothing");

    // A path longer than the message field: the text is cut, its terminator
    // still fits, nothing is written past the 2049 bytes.
    const std::string long_folder = "C:\\" + std::string(3000, 'L') + "\\";
    module.extract(long_folder.c_str(), "GAME.ISO", "", "");
    const auto bytes = read_file(kStatusPath);
    if (checks.expect(bytes.has_value(), "status file after an over-long path")) {
        checks.equal(static_cast<std::int64_t>(bytes->size()), 2049, "status file size after an over-long path");
        if (bytes->size() == 2049) {
            checks.equal(static_cast<unsigned char>((*bytes)[0]), 1, "status flag after an over-long path");
            checks.equal(bytes->substr(1, 5), "Code ", "a coded message after an over-long path");
            checks.equal(static_cast<unsigned char>((*bytes)[2048]), 0, "the message field ends in a zero");
        }
    }

    remove_tree(folder);
    return checks.finish();
}

} // namespace host
