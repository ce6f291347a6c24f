// The message pump inside a job: a window that floods its own queue cannot hang the job.
#include <cstdio>

#include "host.h"

namespace host {

namespace {

constexpr UINT kFlood = WM_APP + 2;
int g_flooded = 0;
bool g_keep_flooding = false;

LRESULT CALLBACK flooding_window(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message != kFlood) return DefWindowProcA(window, message, w, l);
    if (++g_flooded && g_keep_flooding) PostMessageA(window, kFlood, 0, 0);
    return 0;
}

} // namespace

int check_message_pump(const Module& module, const std::string& folder) {
    Checks checks("pump");
    WNDCLASSA type{};
    type.lpfnWndProc = flooding_window;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "isorelink_test_flood";
    RegisterClassA(&type);
    // Wine may still be bringing up its desktop process: give the window a few tries.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 10 && window == nullptr; ++attempt, Sleep(window ? 0 : 500))
        window =
            CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
    if (!checks.expect(window != nullptr, "a message-only window")) return checks.finish();

    std::printf("a window that posts to itself on every message: a hang here means the pump never returns\n");
    g_keep_flooding = true;
    PostMessageA(window, kFlood, 0, 0);
    module.rebuild(folder.c_str(), "", "", "");
    checks.expect(g_flooded > 0, "the flooding window was dispatched");
    g_keep_flooding = false;
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    DestroyWindow(window);
    return checks.finish();
}

} // namespace host
