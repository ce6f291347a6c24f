#pragma once
// What the Windows test programs share: a check recorder, files by Windows
// path, and the C entry points as a scripting caller loads them from
// isorelink-c.dll (LoadLibraryA, six plain cdecl names).
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

inline constexpr int kPass = 0, kFail = 1, kSkip = 77;  // ctest exit codes
inline constexpr const char* kStatusPath = "C:\\WINDOWS\\Temp\\errorcode.erc";

class Checks {
public:
    explicit Checks(std::string_view group) : group_(group) {}
    bool expect(bool ok, std::string_view what, std::string_view detail = {});
    bool equal(std::string_view got, std::string_view want, std::string_view what);
    bool equal(std::int64_t got, std::int64_t want, std::string_view what);
    int finish() const;  // prints the summary, returns the exit code

private:
    std::string group_;
    int checks_ = 0, failures_ = 0;
};

std::optional<std::string> read_file(const std::string& path);
bool write_file(const std::string& path, std::string_view bytes);
bool file_exists(const std::string& path);
void make_folders(const std::string& folder);  // along a path ending in a backslash
void remove_tree(const std::string& path);
// The status file holds exactly the flag and message: 2049 bytes, zeros after the text.
void expect_status(Checks& checks, bool failed, std::string_view message, const std::string& what);

using TextQuery = const char*(__cdecl*)(const char*);
using NumberQuery = std::int32_t(__cdecl*)(std::int32_t);
using Job = void(__cdecl*)(const char*, const char*, const char*, const char*);

struct Module {
    HMODULE handle = nullptr;
    std::string path;
    TextQuery open_filter = nullptr, title = nullptr;     // OnOpen1, Onfileid
    NumberQuery padding = nullptr, open_check = nullptr;  // Onpadding, Onopencheck
    Job extract = nullptr, rebuild = nullptr;             // EXTRACTLBA, REBUILDLBA
};

int check_status_file(const Module& module, const std::string& folder);
int check_message_pump(const Module& module, const std::string& folder);
int check_jobs(const Module& module, const std::string& kit, const std::string& reference);

} // namespace host
