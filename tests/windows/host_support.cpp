#include "host_support.h"

#include <windows.h>

#include <cstdio>

namespace host {

bool Checks::expect(bool ok, std::string_view what, std::string_view detail) {
    ++checks_;
    if (ok) return true;
    ++failures_;
    std::printf("FAIL [%s] %.*s\n", group_.c_str(), static_cast<int>(what.size()), what.data());
    if (!detail.empty()) std::printf("     %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::fflush(stdout);
    return false;
}

bool Checks::equal(std::string_view got, std::string_view want, std::string_view what) {
    if (got == want) return expect(true, what);
    return expect(false, what, "got  \"" + printable(got) + "\"\n     want \"" + printable(want) + "\"");
}

bool Checks::equal(std::int64_t got, std::int64_t want, std::string_view what) {
    if (got == want) return expect(true, what);
    return expect(false, what, "got " + std::to_string(got) + ", want " + std::to_string(want));
}

int Checks::finish() const {
    std::printf("[%s] %d checks, %d failed\n", group_.c_str(), checks_, failures_);
    std::fflush(stdout);
    return failures_ == 0 ? kPass : kFail;
}

std::string printable(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    return out;
}

std::optional<std::string> read_file(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[1 << 16];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return bytes;
}

bool write_file(const std::string& path, std::string_view bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(h);
    return ok;
}

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool make_folder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void make_folders(const std::string& folder) {
    for (std::size_t i = 3; i < folder.size(); ++i)
        if (folder[i] == '\\') make_folder(folder.substr(0, i));
}

bool folder_is_empty(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        const std::string name = found.cFileName;
        empty = name == "." || name == "..";
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

void remove_tree(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string program_folder() {
    char path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    const auto slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}

void expect_status(Checks& checks, bool failed, std::string_view message, std::string_view what) {
    const auto bytes = read_file(kStatusPath);
    if (!checks.expect(bytes.has_value(), std::string(what) + ": status file exists")) return;
    checks.equal(static_cast<std::int64_t>(bytes->size()), 2049, std::string(what) + ": status file size");
    if (bytes->size() != 2049) return;
    checks.equal(static_cast<unsigned char>((*bytes)[0]), failed ? 1 : 0, std::string(what) + ": status flag");
    const std::string_view field(bytes->data() + 1, 2048);
    const auto end = field.find('\0');
    checks.equal(field.substr(0, end), message, std::string(what) + ": status message");
    checks.expect(end != std::string_view::npos && field.find_first_not_of('\0', end) == std::string_view::npos,
                  std::string(what) + ": message field zero after its text");
}

} // namespace host
