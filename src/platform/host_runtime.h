#pragma once
// The C runtime of a 32-bit Windows host application as the module meets it:
// msvcrt.dll's heap, which the host's string framework allocates from and
// frees to, an atomic count, and the failure a host's handlers see when that
// heap has no room. Windows only.
#include <cstddef>

namespace isorelink::platform {

#ifdef _WIN32

// msvcrt.dll's own malloc and free, looked up by name: a runtime of another
// name (a toolchain built on the universal CRT, say) keeps a heap of its own.
// host_allocate answers nullptr when the heap has no room or msvcrt.dll has
// no malloc; host_free answers false, and leaves the block, when it has no free.
void* host_allocate(std::size_t size) noexcept;
bool host_free(void* block) noexcept;

// InterlockedDecrement: the count after the decrement.
long interlocked_decrement(volatile long* count) noexcept;

// Raises the structured exception STATUS_NO_MEMORY, non-continuable.
[[noreturn]] void raise_no_memory();

#endif

} // namespace isorelink::platform
