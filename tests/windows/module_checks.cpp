// The module's boundary as a host sees it: the four queries' answers and their
// calling convention, the banner and the version record.
#include <climits>
#include <vector>

#include "host.h"

namespace host {

namespace {

// Globals, so that the asm needs no esp-relative operand while it moves the stack.
std::uint32_t g_esp_before = 0, g_esp_after = 0;

// How far the stack pointer moved across a call with one pushed argument:
// a cdecl callee leaves it for the caller (4), stdcall removes it (0).
std::int32_t stack_change_of_one_argument_call(void* function, const void* argument) {
    asm volatile("movl %%esp, %[before]\n\tpushl %[arg]\n\tcall *%[fn]\n\tmovl %%esp, %[after]\n\tmovl %[before], %%esp\n\t"
                 : [before] "=m"(g_esp_before), [after] "=m"(g_esp_after)
                 : [arg] "r"(argument), [fn] "r"(function)
                 : "eax", "ecx", "edx", "memory", "cc");
    return static_cast<std::int32_t>(g_esp_before - g_esp_after);
}

} // namespace

int check_exports(const Module& module) {
    Checks checks("exports");
    for (const char* argument : {"anything at all", static_cast<const char*>(nullptr)}) {
        const char* filter = module.open_filter(argument);
        const char* title = module.title(argument);
        checks.equal(filter ? std::string_view(filter) : "(null)", std::string_view("ISO File(*.ISO)\x01*.ISO\x01" "All files (*.*)\x01*.*\x01", 42), "OnOpen1");
        checks.equal(title ? std::string_view(title) : "(null)", "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO", "Onfileid");
    }
    for (const std::int32_t value : {0, -1, INT_MAX, INT_MIN}) {
        checks.equal(module.padding(value), 1, "Onpadding(" + std::to_string(value) + ")");
        checks.equal(module.open_check(value), 1, "Onopencheck(" + std::to_string(value) + ")");
    }
    checks.equal(stack_change_of_one_argument_call(reinterpret_cast<void*>(module.open_filter), ""), 4, "OnOpen1 is cdecl");
    checks.equal(stack_change_of_one_argument_call(reinterpret_cast<void*>(module.padding), nullptr), 4, "Onpadding is cdecl");
    return checks.finish();
}

int check_resources(const Module& module) {
    Checks checks("resources");
    HRSRC found = FindResourceA(module.handle, MAKEINTRESOURCEA(1006), "BIN");
    const DWORD size = found ? SizeofResource(module.handle, found) : 0;
    const auto* bytes = found ? static_cast<const unsigned char*>(LockResource(LoadResource(module.handle, found))) : nullptr;
    if (checks.expect(bytes != nullptr && size >= 54, "resource BIN 1006 loads")) {
        const auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8); };
        const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
        const auto height = static_cast<std::int32_t>(u32(22));
        const std::uint32_t pixels = u32(10);
        checks.equal(std::string_view(reinterpret_cast<const char*>(bytes), 2), "BM", "banner starts with BM");
        checks.equal(u32(2), size, "banner's file size field is the resource's size");
        checks.equal(static_cast<std::int32_t>(u32(18)), 580, "banner width");
        checks.equal(height < 0 ? -height : height, 40, "banner height");
        checks.equal(u16(28), 8, "banner bits per pixel");
        checks.equal(pixels, 14 + 40 + 4 * (u32(46) == 0 ? 256 : u32(46)), "the pixels follow the header and the palette");
        checks.expect(pixels + 580 * 40 <= size, "banner holds every pixel");
    }
    DWORD ignored = 0;
    const DWORD info_size = GetFileVersionInfoSizeA(module.path.c_str(), &ignored);
    std::vector<char> info(info_size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    if (checks.expect(info_size > 0 && GetFileVersionInfoA(module.path.c_str(), 0, info_size, info.data()) &&
                          VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) && fixed_size >= sizeof *fixed,
                      "the module has a version record")) {
        checks.equal(fixed->dwFileVersionMS, MAKELONG(0, 1), "file version 1,0");
        checks.equal(fixed->dwFileVersionLS, MAKELONG(0, 5), "file version 5,0");
        checks.equal(fixed->dwProductVersionMS, MAKELONG(0, 1), "product version 1,0");
        checks.equal(fixed->dwProductVersionLS, MAKELONG(1, 5), "product version 5,1");
    }
    return checks.finish();
}

} // namespace host
