// Linux: the C allocator, defined in the vsthost executable and exported from it, so that a
// loaded plug-in's heap calls come here first. Each forwards to glibc's own implementation
// and counts while the calling thread is armed (alloc_count.h). Linked into the executable
// only, and never into a sanitizer build, whose runtime owns these names.
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* block);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace {

// Initial-exec: reading these never calls into the allocator, not even on a new thread.
__attribute__((tls_model("initial-exec"))) thread_local int tArmed = 0;
__attribute__((tls_model("initial-exec"))) thread_local int tPaused = 0;
std::atomic<std::uint64_t> gAllocations{0};
std::atomic<std::uint64_t> gReleases{0};

inline bool Counting() {
    return tArmed > 0 && tPaused == 0;
}

inline void NoteAllocation() {
    if (Counting()) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

inline void NoteRelease(const void* block) {
    if (block != nullptr && Counting()) {
        gReleases.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace

extern "C" {

// The counting state, found by the rest of the tool through weak references.
__attribute__((visibility("default"))) void VlmAllocArm(int delta) {
    tArmed += delta;
}

__attribute__((visibility("default"))) void VlmAllocPause(int delta) {
    tPaused += delta;
}

__attribute__((visibility("default"))) void VlmAllocCounts(std::uint64_t* allocations,
                                                           std::uint64_t* releases) {
    *allocations = gAllocations.load(std::memory_order_relaxed);
    *releases = gReleases.load(std::memory_order_relaxed);
}

__attribute__((visibility("default"))) void VlmAllocReset() {
    gAllocations.store(0, std::memory_order_relaxed);
    gReleases.store(0, std::memory_order_relaxed);
}

__attribute__((visibility("default"))) void* malloc(std::size_t size) noexcept {
    NoteAllocation();
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void free(void* block) noexcept {
    NoteRelease(block);
    __libc_free(block);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) noexcept {
    NoteAllocation();
    return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void* realloc(void* block, std::size_t size) noexcept {
    NoteAllocation();
    return __libc_realloc(block, size);
}

__attribute__((visibility("default"))) void* reallocarray(void* block, std::size_t count,
                                                          std::size_t size) noexcept {
    NoteAllocation();
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(block, count * size);
}

__attribute__((visibility("default"))) void* memalign(std::size_t alignment,
                                                      std::size_t size) noexcept {
    NoteAllocation();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment,
                                                           std::size_t size) noexcept {
    NoteAllocation();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment,
                                                          std::size_t size) noexcept {
    NoteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) {
        return ENOMEM;
    }
    *out = block;
    return 0;
}

__attribute__((visibility("default"))) void* valloc(std::size_t size) noexcept {
    NoteAllocation();
    return __libc_valloc(size);
}

__attribute__((visibility("default"))) void* pvalloc(std::size_t size) noexcept {
    NoteAllocation();
    return __libc_pvalloc(size);
}

} // extern "C"
