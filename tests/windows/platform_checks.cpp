// The platform layer on Windows, linked directly: folders created along
// backslashes, the Win32 read handle, the pump's answers and its rate limit.
//   platform_checks FOLDER       (a scratch folder)
#include <array>
#include <cstdio>

#include "host.h"
#include "platform/folders.h"
#include "platform/message_pump.h"
#include "platform/read_handle.h"
#include "platform/status_location.h"
#include "plugin/status_file.h"

namespace p = isorelink::platform;

namespace {

void check_folders(host::Checks& checks, const std::string& root) {
    checks.expect(p::create_folders_along(root + "A\\B\\C\\file.txt") && host::file_exists(root + "A\\B\\C") &&
                      !host::file_exists(root + "A\\B\\C\\file.txt"),
                  "every folder along the path is created, not the part after the last backslash");
    checks.expect(p::create_folders_along(root + "A\\B\\C\\D\\") && host::file_exists(root + "A\\B\\C\\D"),
                  "existing folders are no error");
    SetCurrentDirectoryA(root.c_str());
    checks.expect(p::create_folders_along("E/F/G") && !host::file_exists(root + "E"),
                  "only the backslash separates folders");
    checks.expect(!p::create_folders_along(root + std::string(2100, 'x') + "\\file"),
                  "a prefix longer than a path buffer is refused");
    checks.equal(p::status_file_path(), host::kStatusPath, "the status file's path");
    isorelink::reset_status_file(root + "S1\\S2\\errorcode.erc");
    checks.expect(host::read_file(root + "S1\\S2\\errorcode.erc") == std::string(2049, '\0'),
                  "the reset creates the status file's folders");
}

void check_read_handle(host::Checks& checks, const std::string& root) {
    std::string content(10000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 256);
    const std::string path = root + "data.bin";
    host::write_file(path, content);
    // The jobs keep their own stream open for update while the handle reads.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    auto handle = p::ReadHandle::open(path);
    CloseHandle(writer);
    if (!checks.expect(handle.has_value(), "ReadHandle opens a file another handle holds for update")) return;
    checks.expect(handle->size() == content.size(), "ReadHandle::size");
    std::array<std::byte, 100> buffer{};
    const auto text = [&] { return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()); };
    checks.expect(handle->read_exact_at(5000, buffer) && text() == content.substr(5000, 100),
                  "ReadHandle reads at an offset");
    checks.equal(static_cast<std::int64_t>(handle->read_at(9950, buffer)), 50, "a read at the end is short");
    checks.equal(static_cast<std::int64_t>(handle->read_at(0x100000000ull + 10, buffer)), 0,
                 "a read beyond 4 GiB of a small file reads nothing");
    checks.expect(!p::ReadHandle::open(root + "missing.bin") && !p::ReadHandle::open(root + "A"),
                  "ReadHandle refuses a missing file and a folder");
}

void check_pump(host::Checks& checks) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    checks.expect(p::pump_messages() && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE),
                  "a thread message is taken, the pump answers true");
    PostQuitMessage(3);
    checks.expect(!p::pump_messages(), "a quit message: false");
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    const auto calls = p::pump_call_count();
    {
        const p::PumpWhileRunning pumping;
        for (int i = 0; i < 100000; ++i) isorelink::progress::tick();
    }
    checks.expect(p::pump_call_count() - calls < 1000, "a job's ticks reach the pump rate-limited");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string root = argc > 1 ? std::string(argv[1]) + "\\" : "";
    if (root.size() < 4) return 2;
    host::remove_tree(root);
    host::make_folders(root);
    host::Checks checks("platform");
    check_folders(checks, root);
    check_read_handle(checks, root);
    check_pump(checks);
    SetCurrentDirectoryA("C:\\");
    host::remove_tree(root);
    return checks.finish();
}
