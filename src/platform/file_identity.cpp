#include "platform/file_identity.h"

#include <chrono>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace isorelink::platform {

#ifdef _WIN32

std::optional<FileIdentity> file_identity(const std::string& path) {
    // No access asked: only the file's information is read. Backup semantics
    // lets a folder be opened too, so that a folder is told apart as well.
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!read) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | std::uint64_t{info.nFileIndexLow}};
}

std::optional<std::int64_t> change_time(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    FILE_BASIC_INFO info;
    const bool read = GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) != 0;
    CloseHandle(h);
    if (!read || info.ChangeTime.QuadPart == 0) return std::nullopt;
    // 100 ns ticks since 1601.
    constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;
    return (info.ChangeTime.QuadPart - kTicksTo1970) * 100;
}

// Four looks where POSIX needs one; only the edit-test loop's folder walk
// counts them, and it is measured on POSIX.
std::optional<FileState> file_state(const std::string& path) {
    std::error_code ec;
    FileState state;
    const auto status = std::filesystem::status(path, ec);
    if (ec) return std::nullopt;
    state.regular = std::filesystem::is_regular_file(status);
    if (state.regular) {
        state.size = std::filesystem::file_size(path, ec);
        if (ec) return std::nullopt;
    }
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return std::nullopt;
    state.mtime = static_cast<std::int64_t>(time.time_since_epoch().count());
    state.changed = change_time(path).value_or(0);
    const auto identity = file_identity(path);
    if (!identity) return std::nullopt;
    state.identity = *identity;
    return state;
}

#else

std::optional<FileIdentity> file_identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::int64_t> change_time(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
#ifdef __APPLE__
    const auto& changed = st.st_ctimespec;
#else
    const auto& changed = st.st_ctim;
#endif
    return std::int64_t{changed.tv_sec} * 1'000'000'000 + changed.tv_nsec;
}

std::optional<FileState> file_state(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
#ifdef __APPLE__
    const auto& modified = st.st_mtimespec;
    const auto& changed = st.st_ctimespec;
#else
    const auto& modified = st.st_mtim;
    const auto& changed = st.st_ctim;
#endif
    using std::chrono::nanoseconds;
    const std::chrono::sys_time<nanoseconds> written(
        nanoseconds(std::int64_t{modified.tv_sec} * 1'000'000'000 + modified.tv_nsec));
    FileState state;
    state.regular = S_ISREG(st.st_mode);
    state.size = state.regular ? static_cast<std::uint64_t>(st.st_size) : 0;
    state.mtime = static_cast<std::int64_t>(
        std::chrono::duration_cast<std::filesystem::file_time_type::duration>(
            std::chrono::file_clock::from_sys(written).time_since_epoch())
            .count());
    state.changed = std::int64_t{changed.tv_sec} * 1'000'000'000 + changed.tv_nsec;
    state.identity = FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return state;
}

#endif

bool same_file(const std::string& a, const std::string& b) {
    const auto first = file_identity(a);
    return first && first == file_identity(b);
}

} // namespace isorelink::platform
