#include "platform/run_program.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <process.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace isorelink::platform {

std::string find_program(const std::string& name) {
#ifdef _WIN32
    constexpr char kListSeparator = ';';
    const std::string file = name + ".exe";
#else
    constexpr char kListSeparator = ':';
    const std::string& file = name;
#endif
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    const std::string folders = path;
    for (std::size_t start = 0; start <= folders.size();) {
        const auto end = std::min(folders.find(kListSeparator, start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        const auto candidate = std::filesystem::path(folder) / file;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(candidate, ec)) continue;
#ifndef _WIN32
        if (::access(candidate.c_str(), X_OK) != 0) continue;
#endif
        return candidate.string();
    }
    return {};
}

std::optional<int> run_program(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return std::nullopt;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
#ifdef _WIN32
    const auto status = ::_spawnv(_P_WAIT, copies[0].c_str(), argv.data());
    if (status < 0) return std::nullopt;
    return static_cast<int>(status);
#else
    pid_t child = 0;
    if (::posix_spawn(&child, copies[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    if (!WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
#endif
}

} // namespace isorelink::platform
