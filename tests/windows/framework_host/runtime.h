#pragma once
// The stand-in host is built for the MSVC target with no SDK and no C++
// library: these are the few declarations it needs, written from the
// documented Win32 and msvcrt interfaces.
#include <stdarg.h>

using size_t = decltype(sizeof 0);
using uint32 = unsigned int;
static_assert(sizeof(void*) == 4 && sizeof(long) == 4, "a 32-bit Windows host");

extern "C" {

// msvcrt.dll
struct StartupInfo {
    int new_mode;
};
struct HeapInfo {  // _HEAPINFO
    int* entry;
    size_t size;
    int in_use;
};
inline constexpr int kHeapOk = -2, kHeapEnd = -5;  // _HEAPOK, _HEAPEND
struct FILE;

int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expand, StartupInfo* info);
int __cdecl _heapchk();
int __cdecl _heapwalk(HeapInfo* entry);
size_t __cdecl _msize(void* block);
int __cdecl _vsnprintf(char* out, size_t size, const char* format, va_list args);
[[noreturn]] void __cdecl exit(int code);
FILE* __cdecl fopen(const char* path, const char* mode);
size_t __cdecl fread(void* to, size_t size, size_t count, FILE* file);
size_t __cdecl fwrite(const void* from, size_t size, size_t count, FILE* file);
int __cdecl fclose(FILE* file);
void* __cdecl malloc(size_t size);
void __cdecl free(void* block);
int __cdecl memcmp(const void* a, const void* b, size_t size);
void* __cdecl memcpy(void* to, const void* from, size_t size);
void* __cdecl memset(void* to, int value, size_t size);
size_t __cdecl strlen(const char* text);

// kernel32.dll
using Handle = void*;
inline constexpr uint32 kStdOutput = static_cast<uint32>(-11);
int __stdcall CopyFileA(const char* from, const char* to, int fail_if_exists);
int __stdcall CreateDirectoryA(const char* path, void* security);
Handle __stdcall FindResourceA(Handle module, const char* name, const char* type);
Handle __stdcall GetModuleHandleA(const char* name);
void* __stdcall GetProcAddress(Handle module, const char* name);
Handle __stdcall GetStdHandle(uint32 which);
long __stdcall InterlockedDecrement(volatile long* value);
long __stdcall InterlockedIncrement(volatile long* value);
Handle __stdcall LoadLibraryA(const char* path);
Handle __stdcall LoadResource(Handle module, Handle resource);
void* __stdcall LockResource(Handle loaded);
uint32 __stdcall SizeofResource(Handle module, Handle resource);
int __stdcall WriteFile(Handle file, const void* from, uint32 size, uint32* written, void* overlapped);

// The plugin module's names, bound at start-up; the calls go through member
// pointers, so the declared type says nothing.
__declspec(dllimport) void OnOpen1();
__declspec(dllimport) void Onfileid();
__declspec(dllimport) void Onpadding();
__declspec(dllimport) void Onopencheck();
__declspec(dllimport) void EXTRACTLBA();
__declspec(dllimport) void REBUILDLBA();

// measured_call.s: pushes COUNT words (the first one last, so it lies next to
// the return address), loads OBJECT into ECX, calls FUNCTION with ESP equal to
// REST modulo 16, and records how far ESP after the return is from ESP before
// the pushes, and the callee-saved registers as the callee left them.
// Returns EAX.
struct Measured {
    int esp_shift;  // 0: the callee removed exactly its arguments
    uint32 ebx, esi, edi, ebp;
};
inline constexpr uint32 kEbx = 0x0B0B0B0B, kEsi = 0x51515151, kEdi = 0xD1D1D1D1, kEbp = 0xB9B9B9B9;
uint32 __cdecl measured_call(const void* function, const void* object, const uint32* words, uint32 count,
                             uint32 rest, Measured* measured);

} // extern "C"
