#include <cstdio>

#include "host.h"

namespace host {

bool Checks::expect(bool ok, std::string_view what, std::string_view detail) {
    ++checks_;
    if (ok) return true;
    ++failures_;
    std::printf("FAIL [%s] %.*s\n     %.*s\n", group_.c_str(), static_cast<int>(what.size()), what.data(),
                static_cast<int>(detail.size()), detail.data());
    return false;
}

bool Checks::equal(std::string_view got, std::string_view want, std::string_view what) {
    std::string shown;
    for (const char c : got.substr(0, 300))
        shown += c >= 0x20 && c < 0x7F ? std::string(1, c) : "\\x" + std::to_string(static_cast<unsigned char>(c));
    return expect(got == want, what, "got \"" + shown + "\", want \"" + std::string(want) + "\"");
}

bool Checks::equal(std::int64_t got, std::int64_t want, std::string_view what) {
    return expect(got == want, what, "got " + std::to_string(got) + ", want " + std::to_string(want));
}

int Checks::finish() const {
    std::printf("[%s] %d checks, %d failed\n", group_.c_str(), checks_, failures_);
    return failures_ == 0 ? kPass : kFail;
}

std::optional<std::string> read_file(const std::string& path) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[1 << 16];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

bool write_file(const std::string& path, std::string_view bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    const bool ok = h != INVALID_HANDLE_VALUE &&
                    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
}

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void make_folders(const std::string& folder) {
    for (std::size_t i = 3; i < folder.size(); ++i)
        if (folder[i] == '\\') CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
}

void remove_tree(const std::string& path) {
    const std::string folder = path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName, child = folder + "\\" + name;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(child);
            else DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

void expect_status(Checks& checks, bool failed, std::string_view message, const std::string& what) {
    const std::string bytes = read_file(kStatusPath).value_or("");
    if (!checks.equal(static_cast<std::int64_t>(bytes.size()), 2049, what + ": status file size")) return;
    checks.equal(bytes[0], failed ? 1 : 0, what + ": status flag");
    const std::string_view field(bytes.data() + 1, 2048);
    const auto end = field.find('\0');
    checks.equal(field.substr(0, end), message, what + ": status message");
    checks.expect(end != field.npos && field.find_first_not_of('\0', end) == field.npos,
                  what + ": zeros after the message");
}

} // namespace host
