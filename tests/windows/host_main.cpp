// The Windows test host of the C entry points: loads isorelink-c.dll as a
// scripting caller does and checks one area per run:
//   exports | status FOLDER | pump FOLDER | jobs KIT REF
// (folders without their trailing backslash; it is added here). "exports" also
// finds the six names in isorelink.qpi, whose own boundary the stand-in host
// in framework_host/ drives.
#include <cstdio>
#include <cstring>

#include "host.h"

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string area = argc > 1 ? argv[1] : "";
    const auto folder = [&](int i) { return argc > i ? std::string(argv[i]) + "\\" : std::string(); };

    host::Module m;
    char path[MAX_PATH * 4] = {};
    m.path = std::string(path, GetModuleFileNameA(nullptr, path, sizeof path));
    const std::string bin = m.path.substr(0, m.path.find_last_of('\\') + 1);
    m.path = bin + "isorelink-c.dll";
    m.handle = LoadLibraryA(m.path.c_str());
    bool complete = m.handle != nullptr;
    if (!complete) std::printf("%s not loaded: error %lu\n", m.path.c_str(), GetLastError());
    const auto find = [&]<class Function>(Function& slot, const char* name) {
        const FARPROC p = m.handle ? GetProcAddress(m.handle, name) : nullptr;
        std::memcpy(&slot, &p, sizeof p);
        if (p == nullptr) std::printf("%s not found: error %lu\n", name, GetLastError());
        complete = complete && p != nullptr;
    };
    find(m.open_filter, "OnOpen1");
    find(m.title, "Onfileid");
    find(m.padding, "Onpadding");
    find(m.open_check, "Onopencheck");
    find(m.extract, "EXTRACTLBA");
    find(m.rebuild, "REBUILDLBA");
    if (!complete) return host::kFail;

    if (area == "exports") {
        // The plugin module itself: loaded, the same six names, never called here.
        const HMODULE plugin = LoadLibraryA((bin + "isorelink.qpi").c_str());
        if (plugin == nullptr) std::printf("isorelink.qpi not loaded: error %lu\n", GetLastError());
        for (const char* name : {"OnOpen1", "Onfileid", "Onpadding", "Onopencheck", "EXTRACTLBA", "REBUILDLBA"}) {
            const bool found = plugin != nullptr && GetProcAddress(plugin, name) != nullptr;
            if (!found && plugin != nullptr) std::printf("isorelink.qpi: %s not found\n", name);
            complete = complete && found;
        }
        if (plugin != nullptr) FreeLibrary(plugin);
        return complete ? host::kPass : host::kFail;
    }
    if (area == "status" && argc > 2) return host::check_status_file(m, folder(2));
    if (area == "pump" && argc > 2) return host::check_message_pump(m, folder(2));
    if (area == "jobs" && argc > 3) return host::check_jobs(m, folder(2), folder(3));
    std::printf("usage: plugin_host exports | status FOLDER | pump FOLDER | jobs KIT REF\n");
    return 2;
}
