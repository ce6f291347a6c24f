// The status file: reset at every start to 2049 bytes whatever was there before.
#include "host.h"

namespace host {

int check_status_file(const Module& module, const std::string& folder) {
    Checks checks("status");
    remove_tree(folder);
    make_folders(folder);
    write_file(kStatusPath, std::string(5000, '\xAA'));
    module.extract(folder.c_str(), "", nullptr, "ignored");
    expect_status(checks, true, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA without an image");
    DeleteFileA(kStatusPath);  // created again when missing
    module.rebuild(folder.c_str(), "MISSING.ISO", "", "");
    expect_status(checks, true, "Code 401 - Error Opening " + folder + "NEW-MISSING.ISO", "a missing new image");
    remove_tree(folder);
    return checks.finish();
}

} // namespace host
