#include "os/alloc_count.h"

#include <cstdint>

// Defined by counting_malloc_posix.cpp in the executable; absent (null) in other programs and in
// sanitizer builds.
extern "C" {
__attribute__((weak)) void VlmAllocArm(int delta);
__attribute__((weak)) void VlmAllocPause(int delta);
__attribute__((weak)) void VlmAllocCounts(std::uint64_t* allocations, std::uint64_t* releases);
__attribute__((weak)) void VlmAllocReset();
}

namespace VLM::Alloc {

bool Prepare(void*, std::string& why) {
    if (VlmAllocArm == nullptr) {
        why = "this build of the tool does not intercept the allocator (a sanitizer build)";
        return false;
    }
    return true;
}

void Arm() {
    if (VlmAllocArm != nullptr) {
        VlmAllocArm(1);
    }
}

void Disarm() {
    if (VlmAllocArm != nullptr) {
        VlmAllocArm(-1);
    }
}

SCounts Counts() {
    SCounts c;
    if (VlmAllocCounts != nullptr) {
        VlmAllocCounts(&c.allocations, &c.releases);
    }
    return c;
}

void Reset() {
    if (VlmAllocReset != nullptr) {
        VlmAllocReset();
    }
}

CPause::CPause() {
    if (VlmAllocPause != nullptr) {
        VlmAllocPause(1);
    }
}

CPause::~CPause() {
    if (VlmAllocPause != nullptr) {
        VlmAllocPause(-1);
    }
}

} // namespace VLM::Alloc
