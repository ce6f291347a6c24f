#pragma once
// Scratch folders, whole-file reads and writes, running the CLI and other programs.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace isorelink::test {

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
// True when a program is on PATH (oracle tests skip without it).
bool have_program(const std::string& name);
// Quotes a path for a POSIX shell.
std::string shell_quote(const std::string& text);

// SHA-256-free fingerprint good enough to see a byte change: FNV-1a 64.
std::uint64_t fingerprint(const std::string& path);

} // namespace isorelink::test
