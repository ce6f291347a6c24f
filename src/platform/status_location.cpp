#include "platform/status_location.h"

#include <cstdlib>

namespace isorelink::platform {

std::string status_file_path() {
#ifdef _WIN32
    return "C:\\WINDOWS\\Temp\\errorcode.erc";
#else
    std::string folder = "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') folder = tmp;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder == "/") folder.clear();
    return folder + "/errorcode.erc";
#endif
}

} // namespace isorelink::platform
