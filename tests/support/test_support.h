#pragma once
// Scratch folders, whole-file reads and writes, running the CLI and other programs, naming parameterised cases.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/result.h"
#include "format/image_kind.h"

namespace isorelink {
// Parameters print as their kind, not as raw bytes.
inline void PrintTo(ImageKind kind, std::ostream* out) { *out << to_string(kind); }
} // namespace isorelink

namespace isorelink::test {

// The kinds as test names: "Ps2Cd", "PspUmd", "Ps2Dvd".
inline std::string kind_name(ImageKind kind) {
    return kind == ImageKind::Ps2Cd ? "Ps2Cd" : kind == ImageKind::PspUmd ? "PspUmd" : "Ps2Dvd";
}
inline std::string kind_param_name(const ::testing::TestParamInfo<ImageKind>& info) { return kind_name(info.param); }
inline const auto kEveryKind = ::testing::Values(ImageKind::Ps2Cd, ImageKind::PspUmd, ImageKind::Ps2Dvd);

// Names a parameterised case by its `name` field.
template <typename Case> std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

// A fresh folder under the build's temporary area, removed at destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The folder as a job's prefix: with its trailing separator.
    std::string prefix() const;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::vector<std::byte> read_bytes(const std::string& path);
std::string read_text(const std::string& path);
void write_bytes(const std::string& path, const std::vector<std::byte>& bytes);
void write_text(const std::string& path, const std::string& text);
bool exists(const std::string& path);

struct CommandResult {
    int exit_code = -1;
    std::string output;  // stdout and stderr together
};
// Runs a shell command line and captures its output.
CommandResult run_command(const std::string& command_line);
// True when a program is on PATH, or on ISORELINK_ORACLE_PATH when that is set (an empty one hides every
// independent reader: the oracle tests then report themselves skipped).
bool have_program(const std::string& name);
// Quotes a path for a POSIX shell.
std::string shell_quote(const std::string& text);

// A failed outcome's message, or "" on success.
template <typename T> std::string failure(const Expected<T>& outcome) { return outcome ? "" : outcome.error().message; }

// SHA-256-free fingerprint good enough to see a byte change: FNV-1a 64.
std::uint64_t fingerprint(const std::string& path);

} // namespace isorelink::test
