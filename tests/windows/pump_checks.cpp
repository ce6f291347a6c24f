// The message pump inside a job: what the host posted to its own thread's
// queue before calling a job is dispatched during the call; a quit message
// stays for the host's own loop; a window that floods its queue cannot hang
// the job.
#include <windows.h>

#include <string>

#include "host_checks.h"
#include "host_support.h"

namespace host {

namespace {

constexpr UINT kCounted = WM_APP + 1;
constexpr UINT kFlood = WM_APP + 2;

int g_counted = 0;
int g_flooded = 0;
bool g_keep_flooding = false;

LRESULT CALLBACK counting_window(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == kCounted) {
        ++g_counted;
        return 0;
    }
    if (message == kFlood) {
        ++g_flooded;
        if (g_keep_flooding) PostMessageA(window, kFlood, 0, 0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

bool queue_is_empty() {
    MSG message;
    return !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

void drain() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

} // namespace

int check_message_pump(const Module& module, const std::string& folder) {
    Checks checks("pump");
    WNDCLASSA type{};
    type.lpfnWndProc = counting_window;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "isorelink_test_counter";
    RegisterClassA(&type);
    // Wine may still be bringing up its desktop process right after the
    // session started: give the first window a few tries.
    HWND window = nullptr;
    DWORD error = 0;
    for (int attempt = 0; attempt < 10 && window == nullptr; ++attempt) {
        if (attempt > 0) Sleep(500);
        window = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance,
                                 nullptr);
        if (window == nullptr) error = GetLastError();
    }
    if (!checks.expect(window != nullptr, "a message-only window for counting",
                       "CreateWindowExA failed: error " + std::to_string(error))) {
        return checks.finish();
    }
    drain();

    module.extract(folder.c_str(), "", "", "");
    checks.equal(g_counted, 0, "an empty queue: nothing dispatched");

    for (int i = 0; i < 3; ++i) PostMessageA(window, kCounted, 0, 0);
    module.extract(folder.c_str(), "", "", "");
    checks.equal(g_counted, 3, "EXTRACTLBA dispatches the three messages posted before the call");
    checks.expect(queue_is_empty(), "EXTRACTLBA leaves the queue empty");

    for (int i = 0; i < 3; ++i) PostMessageA(window, kCounted, 0, 0);
    module.rebuild(folder.c_str(), "", "", "");
    checks.equal(g_counted, 6, "REBUILDLBA dispatches the three messages posted before the call");
    checks.expect(queue_is_empty(), "REBUILDLBA leaves the queue empty");

    PostMessageA(window, kCounted, 0, 0);
    PostQuitMessage(7);
    module.extract(folder.c_str(), "MISSING.ISO", "", "");
    checks.equal(g_counted, 7, "the message before the quit message is dispatched");
    MSG message{};
    const bool quit = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0;
    checks.expect(quit && message.message == WM_QUIT, "the quit message is still there for the host's loop");
    if (quit && message.message == WM_QUIT) checks.equal(static_cast<std::int64_t>(message.wParam), 7, "its exit code");
    checks.expect(queue_is_empty(), "only the quit message was left");

    std::printf("a window that posts to itself on every message: a hang here means the pump never returns\n");
    g_keep_flooding = true;
    PostMessageA(window, kFlood, 0, 0);
    module.rebuild(folder.c_str(), "", "", "");
    checks.expect(g_flooded > 0, "the flooding window was dispatched", std::to_string(g_flooded) + " times");
    g_keep_flooding = false;
    drain();

    DestroyWindow(window);
    UnregisterClassA(type.lpszClassName, type.hInstance);
    return checks.finish();
}

} // namespace host
