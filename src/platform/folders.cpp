#include "platform/folders.h"

#include <string>

#include "common/job_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace isorelink::platform {

namespace {
void make_folder(const std::string& path) {
#ifdef _WIN32
    CreateDirectoryA(path.c_str(), nullptr);
#else
    ::mkdir(path.c_str(), 0777);
#endif
}
} // namespace

bool create_folders_along(std::string_view path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != kFolderSeparator) continue;
        if (i > kMaxText) return false;
        if (i == 0) continue; // the root of an absolute path
        make_folder(std::string(path.substr(0, i)));
    }
    return true;
}

} // namespace isorelink::platform
