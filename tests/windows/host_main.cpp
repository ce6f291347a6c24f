// The Windows test host: loads isorelink.qpi like a host application and
// checks one area per run (ctest runs each under Wine).
//   plugin_host exports
//   plugin_host resources
//   plugin_host status FOLDER     (a scratch folder; its trailing backslash is added)
//   plugin_host pump FOLDER
//   plugin_host jobs KIT REF      (kit images and the Linux build's products)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host_checks.h"
#include "host_support.h"
#include "module_api.h"

namespace host {

Module load_module() {
    Module m;
    m.path = program_folder() + "isorelink.qpi";
    m.handle = LoadLibraryA(m.path.c_str());
    if (m.handle == nullptr) {
        std::printf("LoadLibraryA(\"%s\") failed: error %lu\n", m.path.c_str(), GetLastError());
        return m;
    }
    auto find = [&]<class Function>(Function& slot, const char* name) {
        FARPROC p = GetProcAddress(m.handle, name);
        if (p == nullptr) std::printf("GetProcAddress(\"%s\") failed: error %lu\n", name, GetLastError());
        static_assert(sizeof slot == sizeof p);
        std::memcpy(&slot, &p, sizeof p);
    };
    find(m.open_filter, "OnOpen1");
    find(m.title, "Onfileid");
    find(m.padding, "Onpadding");
    find(m.open_check, "Onopencheck");
    find(m.extract, "EXTRACTLBA");
    find(m.rebuild, "REBUILDLBA");
    return m;
}

} // namespace host

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string area = argc > 1 ? argv[1] : "";
    auto folder_argument = [&](int i) -> std::string {
        if (argc <= i) return {};
        std::string folder = argv[i];
        if (folder.empty()) return {};
        if (folder.back() != '\\') folder += '\\';
        return folder;
    };

    host::Module module = host::load_module();
    if (!module.complete()) {
        std::printf("the module could not be loaded with its six entry points\n");
        return host::kFail;
    }
    int result = host::kFail;
    if (area == "exports") {
        result = host::check_exports(module);
    } else if (area == "resources") {
        result = host::check_resources(module);
    } else if (area == "status" && !folder_argument(2).empty()) {
        result = host::check_status_file(module, folder_argument(2));
    } else if (area == "pump" && !folder_argument(2).empty()) {
        result = host::check_message_pump(module, folder_argument(2));
    } else if (area == "jobs" && !folder_argument(2).empty() && !folder_argument(3).empty()) {
        result = host::check_jobs(module, folder_argument(2), folder_argument(3));
    } else {
        std::printf("usage: plugin_host exports | resources | status FOLDER | pump FOLDER | jobs KIT REF\n");
        return 2;
    }
    FreeLibrary(module.handle);
    return result;
}
