#include "platform/output_replacement.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace isorelink::platform {

#ifdef _WIN32

std::optional<unsigned> remove_old_output(const std::string&) { return std::nullopt; }

void restore_output_mode(const std::string&, unsigned) {}

#else

std::optional<unsigned> remove_old_output(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_size == 0) return std::nullopt;
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) return std::nullopt;
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return std::nullopt;
    if (::unlink(path.c_str()) != 0) return std::nullopt;
    return static_cast<unsigned>(st.st_mode & 07777);
}

void restore_output_mode(const std::string& path, unsigned mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) != mode) ::chmod(path.c_str(), mode);
}

#endif

} // namespace isorelink::platform
