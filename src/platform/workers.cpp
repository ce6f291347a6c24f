#include "platform/workers.h"

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace isorelink::platform {

#ifdef _WIN32

unsigned worker_count(unsigned most) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return std::max(1u, std::min<unsigned>(most, info.dwNumberOfProcessors));
}

namespace {

struct Call {
    const std::function<void(unsigned)>* body;
    unsigned worker;
};

DWORD WINAPI run_call(void* argument) {
    const auto* call = static_cast<const Call*>(argument);
    (*call->body)(call->worker);
    return 0;
}

} // namespace

void run_workers(unsigned workers, const std::function<void(unsigned)>& body) {
    std::vector<Call> calls;
    for (unsigned w = 1; w < workers; ++w) calls.push_back({&body, w});
    std::vector<HANDLE> threads;
    for (auto& call : calls)
        if (HANDLE h = CreateThread(nullptr, 0, run_call, &call, 0, nullptr)) threads.push_back(h);
    body(0);
    for (const HANDLE h : threads) {
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }
}

#else

unsigned worker_count(unsigned most) {
    return std::max(1u, std::min(most, std::thread::hardware_concurrency()));
}

void run_workers(unsigned workers, const std::function<void(unsigned)>& body) {
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(body, w);
        } catch (...) {
            break;  // the workers that did start take the rest
        }
    }
    body(0);
    for (auto& t : threads) t.join();
}

#endif

} // namespace isorelink::platform
