// The platform layer on Windows, linked directly: folder creation along
// backslashes, the Win32 read handle, the pump's answers and its rate limit.
//   platform_checks FOLDER       (a scratch folder)
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>

#include "host_support.h"
#include "platform/folders.h"
#include "platform/message_pump.h"
#include "platform/read_handle.h"
#include "platform/status_location.h"
#include "plugin/status_file.h"

namespace {

using host::Checks;

bool is_folder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void check_folders(Checks& checks, const std::string& root) {
    namespace p = isorelink::platform;
    checks.expect(p::create_folders_along(root + "A\\B\\C\\file.txt"), "a short path is accepted");
    checks.expect(is_folder(root + "A") && is_folder(root + "A\\B") && is_folder(root + "A\\B\\C"),
                  "every folder along the path is created");
    checks.expect(!host::file_exists(root + "A\\B\\C\\file.txt"), "the part after the last backslash is not created");
    checks.expect(p::create_folders_along(root + "A\\B\\C\\D\\"), "existing folders are no error");
    checks.expect(is_folder(root + "A\\B\\C\\D"), "a trailing backslash creates the last folder too");

    SetCurrentDirectoryA(root.c_str());
    checks.expect(p::create_folders_along("NOBACKSLASH") && !host::file_exists(root + "NOBACKSLASH"),
                  "a path without a backslash creates nothing");
    checks.expect(p::create_folders_along("E/F/G") && !host::file_exists(root + "E"),
                  "only the backslash separates folders");

    const std::string deep = root + std::string(2100, 'x') + "\\file";
    checks.expect(!p::create_folders_along(deep), "a prefix longer than a path buffer is refused");

    checks.equal(p::status_file_path(), host::kStatusPath, "the status file's path");
    const std::string status = root + "S1\\S2\\errorcode.erc";
    isorelink::reset_status_file(status);
    const auto bytes = host::read_file(status);
    checks.expect(bytes && *bytes == std::string(2049, '\0'),
                  "the reset creates the folders along the status path and writes 2049 zeros");
}

void check_read_handle(Checks& checks, const std::string& root) {
    namespace p = isorelink::platform;
    std::string content(10000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 256);
    const std::string path = root + "data.bin";
    host::write_file(path, content);

    auto handle = p::ReadHandle::open(path);
    if (!checks.expect(handle.has_value(), "ReadHandle opens an existing file")) return;
    checks.expect(handle->size() == content.size(), "ReadHandle::size");
    std::array<std::byte, 100> buffer{};
    checks.expect(handle->read_exact_at(5000, buffer) &&
                      std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()) == content.substr(5000, 100),
                  "ReadHandle reads at an offset");
    checks.equal(static_cast<std::int64_t>(handle->read_at(9950, buffer)), 50, "a read at the end is short");
    checks.equal(static_cast<std::int64_t>(handle->read_at(20000, buffer)), 0, "a read beyond the end reads nothing");
    checks.equal(static_cast<std::int64_t>(handle->read_at(0x100000000ull + 10, buffer)), 0,
                 "a read beyond 4 GiB of a small file reads nothing (64-bit offset)");

    // The jobs keep their own stream open for update while the handle reads.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    checks.expect(p::ReadHandle::open(path).has_value(), "ReadHandle opens a file another handle holds for update");
    CloseHandle(writer);

    checks.expect(!p::ReadHandle::open(root + "missing.bin").has_value(), "ReadHandle refuses a missing file");
    checks.expect(!p::ReadHandle::open(root + "A").has_value(), "ReadHandle refuses a folder");
    handle.reset();
    checks.expect(p::delete_file(path) && !host::file_exists(path), "delete_file");
}

void check_pump(Checks& checks) {
    namespace p = isorelink::platform;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    checks.expect(p::pump_messages(), "an empty queue: the pump answers true");
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    checks.expect(p::pump_messages(), "a drained queue: true");
    checks.expect(!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE), "a thread message is taken too");
    PostQuitMessage(3);
    checks.expect(!p::pump_messages(), "a quit message: false (the host's test sees it posted again)");
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    const auto calls = p::pump_call_count();
    for (int i = 0; i < 100000; ++i) p::yield_to_host();
    checks.expect(p::pump_call_count() - calls < 1000, "yield_to_host is rate-limited",
                  std::to_string(p::pump_call_count() - calls) + " pumps for 100000 ticks");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string root = argc > 1 ? argv[1] : "";
    if (!root.empty() && root.back() != '\\') root += '\\';
    if (root.size() < 4) {
        std::printf("usage: platform_checks FOLDER\n");
        return 2;
    }
    host::remove_tree(root);
    host::make_folders(root);
    Checks checks("platform");
    check_folders(checks, root);
    check_read_handle(checks, root);
    check_pump(checks);
    SetCurrentDirectoryA("C:\\");
    host::remove_tree(root);
    return checks.finish();
}
