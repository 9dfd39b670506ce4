// Counting the heap calls a plug-in makes while it processes audio.
//
// Linux: the vsthost executable itself defines malloc, free, calloc, realloc, reallocarray,
// posix_memalign, aligned_alloc, memalign, valloc and pvalloc (os/counting_malloc_posix.cpp) and
// exports them by a dynamic list, so the plug-in's calls (and those of the C++ runtime it
// uses) bind to them; they forward to glibc's __libc_* functions and count while the calling
// thread is armed. Sanitizer builds bring their own allocator and leave the counting out.
//
// Windows: the plug-in module's import address table is patched: each entry that imports a
// heap function (malloc, calloc, realloc, free and their _aligned_ and _base forms from the
// C runtimes, the C++ operators new and delete, HeapAlloc, HeapReAlloc, HeapFree, LocalAlloc,
// GlobalAlloc, VirtualAlloc and their releases from kernel32, and RtlAllocateHeap,
// RtlReAllocateHeap and RtlFreeHeap from ntdll) is pointed at a counting forwarder. Calls the
// plug-in makes through other modules or through addresses it looks up itself are not seen.
#pragma once

#include <cstdint>
#include <string>

namespace VLM::Alloc {

struct SCounts {
    std::uint64_t allocations = 0; // allocations and reallocations
    std::uint64_t releases = 0;    // releases of a non-null block
};

// Readies counting for a loaded plug-in module (an HMODULE on Windows; unused elsewhere).
// False, with the reason, when this build or platform cannot count. [UI thread]
bool Prepare(void* module, std::string& why);

// The calling thread's heap calls count from Arm until Disarm. [audio thread]
void Arm();
void Disarm();

SCounts Counts();
void Reset();

// Suspends the counting on this thread for the object's life: the host's own work during a
// call of the plug-in (its callback) is not the plug-in's allocation.
class CPause {
public:
    CPause();
    ~CPause();
    CPause(const CPause&) = delete;
    CPause& operator=(const CPause&) = delete;
};

} // namespace VLM::Alloc
