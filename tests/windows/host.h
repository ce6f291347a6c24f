#pragma once
// What the Windows test programs share: a tiny check recorder, files by
// Windows path, and the module as a host loads it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Exit codes ctest understands: 0 pass, 1 fail, 77 skipped.
inline constexpr int kPass = 0;
inline constexpr int kFail = 1;
inline constexpr int kSkip = 77;

class Checks {
public:
    explicit Checks(std::string_view group) : group_(group) {}
    // Records one check; prints the failure with its detail.
    bool expect(bool ok, std::string_view what, std::string_view detail = {});
    bool equal(std::string_view got, std::string_view want, std::string_view what);
    bool equal(std::int64_t got, std::int64_t want, std::string_view what);
    int failures() const { return failures_; }
    // Prints the summary and returns the exit code.
    int finish() const;

private:
    std::string group_;
    int checks_ = 0;
    int failures_ = 0;
};

// Printable form of bytes: control characters and non-ASCII as \xNN.
std::string printable(std::string_view bytes);

std::optional<std::string> read_file(const std::string& path);
bool write_file(const std::string& path, std::string_view bytes);
bool file_exists(const std::string& path);
bool make_folder(const std::string& path);
// Creates every folder along a path that ends in a backslash.
void make_folders(const std::string& folder);
bool folder_is_empty(const std::string& folder);
// Removes a folder with everything in it; missing is fine.
void remove_tree(const std::string& path);

// The folder this program lives in, with its trailing backslash.
std::string program_folder();

// The status file the module writes.
inline constexpr const char* kStatusPath = "C:\\WINDOWS\\Temp\\errorcode.erc";

// Checks that the status file holds exactly the flag and message given:
// 2049 bytes, the flag byte, the message and zeros to the end.
void expect_status(Checks& checks, bool failed, std::string_view message, std::string_view what);

} // namespace host
