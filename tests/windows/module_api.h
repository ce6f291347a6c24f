#pragma once
// The module as a host sees it: loaded with LoadLibraryA from beside the
// host program, its six entry points resolved by their plain names.
#include <windows.h>

#include <cstdint>
#include <string>

namespace host {

using TextQuery = const char*(__cdecl*)(const char*);
using NumberQuery = std::int32_t(__cdecl*)(std::int32_t);
using Job = void(__cdecl*)(const char*, const char*, const char*, const char*);

struct Module {
    HMODULE handle = nullptr;
    std::string path;
    TextQuery open_filter = nullptr;  // OnOpen1
    TextQuery title = nullptr;        // Onfileid
    NumberQuery padding = nullptr;    // Onpadding
    NumberQuery open_check = nullptr; // Onopencheck
    Job extract = nullptr;            // EXTRACTLBA
    Job rebuild = nullptr;            // REBUILDLBA

    bool complete() const {
        return handle && open_filter && title && padding && open_check && extract && rebuild;
    }
};

// Loads isorelink.qpi from the host's folder; prints what went wrong.
Module load_module();

} // namespace host
