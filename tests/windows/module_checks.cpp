// The module's boundary as a host sees it: the export table, the answers of
// the four queries, the calling convention, the banner and the version record.
#include <windows.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host_checks.h"
#include "host_support.h"

namespace host {

namespace {

constexpr std::string_view kOpenFilter("ISO File(*.ISO)\x01*.ISO\x01"
                                       "All files (*.*)\x01*.*\x01",
                                       42);
constexpr std::string_view kTitle = "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO";

// The names in the loaded module's export directory.
std::vector<std::string> export_names(HMODULE module) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (entry.VirtualAddress == 0) return names;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* name_rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + name_rvas[i]));
    if (exports->NumberOfFunctions != exports->NumberOfNames) names.emplace_back("(an export by ordinal only)");
    return names;
}

// Calls an entry point with N pointer arguments pushed by hand and measures
// the stack: a cdecl callee leaves its arguments for the caller to remove.
// The stack pointers live in globals so that the asm needs no esp-relative
// operand while it moves the stack.
std::uint32_t g_esp_before = 0;
std::uint32_t g_esp_after = 0;

std::int32_t stack_change_of_one_argument_call(void* function, const void* argument) {
    asm volatile("movl %%esp, %[before]\n\t"
                 "pushl %[arg]\n\t"
                 "call *%[fn]\n\t"
                 "movl %%esp, %[after]\n\t"
                 "movl %[before], %%esp\n\t"
                 : [before] "=m"(g_esp_before), [after] "=m"(g_esp_after)
                 : [arg] "r"(argument), [fn] "r"(function)
                 : "eax", "ecx", "edx", "memory", "cc");
    return static_cast<std::int32_t>(g_esp_before - g_esp_after);
}

} // namespace

int check_exports(const Module& module) {
    Checks checks("exports");

    std::set<std::string> names;
    for (const auto& name : export_names(module.handle)) names.insert(name);
    const std::set<std::string> wanted = {"EXTRACTLBA", "OnOpen1", "Onfileid", "Onopencheck", "Onpadding", "REBUILDLBA"};
    std::string listed;
    for (const auto& name : names) listed += name + " ";
    checks.expect(names == wanted, "the export table holds exactly the six plain names", "found: " + listed);
    for (const char* decorated : {"_OnOpen1", "OnOpen1@4", "_OnOpen1@4", "EXTRACTLBA@16", "_EXTRACTLBA"}) {
        checks.expect(GetProcAddress(module.handle, decorated) == nullptr,
                      std::string("no decorated name resolves: ") + decorated);
    }

    for (const char* argument : {"", "anything at all", static_cast<const char*>(nullptr)}) {
        const std::string label = argument == nullptr ? "null" : "\"" + std::string(argument) + "\"";
        const char* filter = module.open_filter(argument);
        checks.expect(filter != nullptr, "OnOpen1(" + label + ") returns text");
        if (filter != nullptr) checks.equal(std::string_view(filter), kOpenFilter, "OnOpen1(" + label + ") filter");
        const char* title = module.title(argument);
        checks.expect(title != nullptr, "Onfileid(" + label + ") returns text");
        if (title != nullptr) checks.equal(std::string_view(title), kTitle, "Onfileid(" + label + ") title");
    }
    for (const std::int32_t value : {0, 1, -1, 2, 1006, INT_MAX, INT_MIN}) {
        checks.equal(module.padding(value), 1, "Onpadding(" + std::to_string(value) + ")");
        checks.equal(module.open_check(value), 1, "Onopencheck(" + std::to_string(value) + ")");
    }

    // cdecl: after the call the caller still owns its 4 argument bytes.
    checks.equal(stack_change_of_one_argument_call(reinterpret_cast<void*>(module.open_filter), ""), 4,
                 "OnOpen1 leaves its argument on the stack (cdecl)");
    checks.equal(stack_change_of_one_argument_call(reinterpret_cast<void*>(module.padding), nullptr), 4,
                 "Onpadding leaves its argument on the stack (cdecl)");
    return checks.finish();
}

int check_resources(const Module& module) {
    Checks checks("resources");

    HRSRC found = FindResourceA(module.handle, MAKEINTRESOURCEA(1006), "BIN");
    if (checks.expect(found != nullptr, "resource BIN 1006 exists")) {
        const DWORD size = SizeofResource(module.handle, found);
        HGLOBAL loaded = LoadResource(module.handle, found);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
        if (checks.expect(bytes != nullptr && size >= 54, "resource BIN 1006 loads")) {
            auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8); };
            auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
            checks.equal(std::string_view(reinterpret_cast<const char*>(bytes), 2), "BM", "banner starts with BM");
            checks.equal(u32(2), size, "banner's file size field is the resource's size");
            checks.equal(u32(14), 40, "banner has a BITMAPINFOHEADER");
            checks.equal(static_cast<std::int32_t>(u32(18)), 580, "banner width");
            const auto height = static_cast<std::int32_t>(u32(22));
            checks.equal(height < 0 ? -height : height, 40, "banner height");
            checks.equal(u16(26), 1, "banner planes");
            checks.equal(u16(28), 8, "banner bits per pixel");
            checks.equal(u32(30), BI_RGB, "banner is uncompressed");
            const std::uint32_t colours = u32(46) == 0 ? 256 : u32(46);
            checks.expect(colours <= 256, "banner palette has at most 256 colours");
            const std::uint32_t pixels = u32(10);
            checks.equal(pixels, 14 + 40 + 4 * colours, "pixels follow the palette");
            checks.expect(pixels + 580 * 40 <= size, "banner holds every pixel (580 x 40, rows of 580 bytes)");
            if (pixels + 580 * 40 <= size) {
                std::set<unsigned char> used(bytes + pixels, bytes + pixels + 580 * 40);
                checks.expect(used.size() >= 8, "banner is a picture, not a blank",
                              std::to_string(used.size()) + " colours used");
            }
        }
    }

    DWORD ignored = 0;
    const DWORD info_size = GetFileVersionInfoSizeA(module.path.c_str(), &ignored);
    if (checks.expect(info_size > 0, "the module has a version record")) {
        std::vector<char> info(info_size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixed_size = 0;
        const bool read = GetFileVersionInfoA(module.path.c_str(), 0, info_size, info.data()) &&
                          VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) &&
                          fixed_size >= sizeof(VS_FIXEDFILEINFO);
        if (checks.expect(read, "the version record's fixed part reads")) {
            checks.equal(fixed->dwSignature, 0xFEEF04BD, "version record signature");
            checks.equal(fixed->dwFileVersionMS, MAKELONG(0, 1), "file version 1,0");
            checks.equal(fixed->dwFileVersionLS, MAKELONG(0, 5), "file version 5,0");
            checks.equal(fixed->dwProductVersionMS, MAKELONG(0, 1), "product version 1,0");
            checks.equal(fixed->dwProductVersionLS, MAKELONG(1, 5), "product version 5,1");
            checks.equal(fixed->dwFileType, VFT_DLL, "the module is a DLL");
        }
    }
    return checks.finish();
}

} // namespace host
