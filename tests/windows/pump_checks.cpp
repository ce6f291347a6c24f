// The message pump inside a job: what the host posted to its own thread's queue
// before the call is dispatched during it; a quit message stays for the host's
// loop; a window that floods its queue cannot hang the job.
#include <cstdio>

#include "host.h"

namespace host {

namespace {

constexpr UINT kCounted = WM_APP + 1, kFlood = WM_APP + 2;
int g_counted = 0, g_flooded = 0;
bool g_keep_flooding = false;

LRESULT CALLBACK counting_window(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == kCounted) ++g_counted;
    if (message == kFlood && ++g_flooded && g_keep_flooding) PostMessageA(window, kFlood, 0, 0);
    return message == kCounted || message == kFlood ? 0 : DefWindowProcA(window, message, w, l);
}

bool queue_is_empty() {
    MSG message;
    return !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

} // namespace

int check_message_pump(const Module& module, const std::string& folder) {
    Checks checks("pump");
    WNDCLASSA type{};
    type.lpfnWndProc = counting_window;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "isorelink_test_counter";
    RegisterClassA(&type);
    // Wine may still be bringing up its desktop process: give the window a few tries.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 10 && window == nullptr; ++attempt, Sleep(window ? 0 : 500))
        window = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
    if (!checks.expect(window != nullptr, "a message-only window for counting")) return checks.finish();
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);

    const char* const dir = folder.c_str();
    for (const Job job : {module.extract, module.rebuild}) {
        const int before = g_counted;
        for (int i = 0; i < 3; ++i) PostMessageA(window, kCounted, 0, 0);
        job(dir, "", "", "");
        checks.equal(g_counted - before, 3, job == module.extract ? "EXTRACTLBA dispatches what was posted" : "REBUILDLBA dispatches what was posted");
        checks.expect(queue_is_empty(), "the job leaves the queue empty");
    }
    PostMessageA(window, kCounted, 0, 0);
    PostQuitMessage(7);
    module.extract(dir, "MISSING.ISO", "", "");
    checks.equal(g_counted, 7, "the message before the quit message is dispatched");
    const bool quit = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) && message.message == WM_QUIT;
    checks.expect(quit && message.wParam == 7, "the quit message is posted again, with its exit code, for the host's loop");
    checks.expect(queue_is_empty(), "only the quit message was left");

    std::printf("a window that posts to itself on every message: a hang here means the pump never returns\n");
    g_keep_flooding = true;
    PostMessageA(window, kFlood, 0, 0);
    module.rebuild(dir, "", "", "");
    checks.expect(g_flooded > 0, "the flooding window was dispatched");
    g_keep_flooding = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    DestroyWindow(window);
    return checks.finish();
}

} // namespace host
