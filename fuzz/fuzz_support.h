#pragma once
// The fuzz targets' scratch folder: one per process, so that two fuzzers (or
// a fuzzer and the tests) never share the jobs' fixed working file names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

#include <unistd.h>

#include "support/fuzz_cases.h"

namespace isorelink::fuzz {

inline const std::string& scratch_prefix() {
    static const std::string prefix = [] {
        // Memory-backed when the system has it: every input is written out
        // and read back, and the disk would set the pace.
        const char* chosen = std::getenv("ISORELINK_FUZZ_SCRATCH");
        std::error_code probe;
        const std::filesystem::path base = chosen != nullptr && *chosen != '\0' ? std::filesystem::path(chosen)
                                           : std::filesystem::is_directory("/dev/shm", probe)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        auto dir = base / ("isorelink-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        static const std::string remove_at_exit = dir.string();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(remove_at_exit, ignored);
        });
        return dir.string() + "/";
    }();
    return prefix;
}

// A broken promise is a crash to libFuzzer: say what broke, then abort.
inline int verdict(const std::string& fault) {
    if (fault.empty()) return 0;
    std::fprintf(stderr, "isorelink fuzz: %s\n", fault.c_str());
    std::abort();
}

} // namespace isorelink::fuzz
