#include "support/test_support.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

namespace isorelink::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto base = fs::temp_directory_path() / "isorelink-tests";
    fs::create_directories(base);
    static const std::string run = std::to_string(std::random_device{}());  // apart from other test programs
    for (;;) {
        auto candidate = base / ("t" + run + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (std::getenv("ISORELINK_KEEP_TEST_FILES") == nullptr) fs::remove_all(path_, ec);
}

std::string ScratchDir::prefix() const {
    std::string p = path_.string();
    p.push_back(static_cast<char>(fs::path::preferred_separator));
    return p;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::byte> read_bytes(const std::string& path) {
    const std::string text = read_text(path);
    const auto* first = reinterpret_cast<const std::byte*>(text.data());
    return std::vector<std::byte>(first, first + text.size());
}

void write_bytes(const std::string& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool exists(const std::string& path) { return fs::exists(path); }

CommandResult run_command(const std::string& command_line) {
    CommandResult result;
    FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");  // a POSIX shell, as shell_quote expects
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), got);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool have_program(const std::string& name) {
    const char* oracles = std::getenv("ISORELINK_ORACLE_PATH");
    const char* path = oracles != nullptr ? oracles : std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((fs::path(folder) / name).c_str(), X_OK) == 0) return true;
    return false;
}

std::string shell_quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::uint64_t fingerprint(const std::string& path) {
    std::uint64_t h = 1469598103934665603ull;
    for (const unsigned char c : read_text(path)) h = (h ^ c) * 1099511628211ull;
    return h;
}

} // namespace isorelink::test
