#include "support/test_support.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace isorelink::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto base = fs::temp_directory_path() / "isorelink-tests";
    fs::create_directories(base);
    for (;;) {
#ifdef _WIN32
        const unsigned pid = 0;
#else
        const unsigned pid = static_cast<unsigned>(::getpid());
#endif
        auto candidate = base / ("t" + std::to_string(pid) + "-" + std::to_string(counter++));
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

std::vector<std::byte> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> out(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) out[i] = static_cast<std::byte>(chars[i]);
    return out;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
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
#ifdef _WIN32
    FILE* pipe = _popen((command_line + " 2>&1").c_str(), "r");
#else
    FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), got);
#ifdef _WIN32
    result.exit_code = _pclose(pipe);
#else
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

bool have_program(const std::string& name) {
    return run_command("command -v " + shell_quote(name) + " >/dev/null").exit_code == 0;
}

std::string shell_quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += "'";
    return out;
}

std::uint64_t fingerprint(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t h = 1469598103934665603ull;
    std::array<char, 65536> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            h ^= static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)]);
            h *= 1099511628211ull;
        }
    }
    return h;
}

} // namespace isorelink::test
