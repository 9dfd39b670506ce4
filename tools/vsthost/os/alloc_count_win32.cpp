#include "os/alloc_count.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

namespace VLM::Alloc {

namespace {

enum class EKind { Allocation, Release };

// One heap function the forwarders recognise, by name, whatever module exports it.
struct SHeapFunction {
    const char* name;
    EKind kind;
    int blockArgument; // for releases: which argument holds the block (a null one is no call)
};

// The CRT names come from msvcrt.dll, ucrtbase.dll and the api-ms-win-crt-heap set; the
// mangled operators from a shared libstdc++; the rest from kernel32 and ntdll.
constexpr SHeapFunction kHeapFunctions[] = {
    {"malloc", EKind::Allocation, -1},
    {"calloc", EKind::Allocation, -1},
    {"realloc", EKind::Allocation, -1},
    {"_recalloc", EKind::Allocation, -1},
    {"_expand", EKind::Allocation, -1},
    {"_malloc_base", EKind::Allocation, -1},
    {"_calloc_base", EKind::Allocation, -1},
    {"_realloc_base", EKind::Allocation, -1},
    {"_aligned_malloc", EKind::Allocation, -1},
    {"_aligned_realloc", EKind::Allocation, -1},
    {"_aligned_offset_malloc", EKind::Allocation, -1},
    {"_strdup", EKind::Allocation, -1},
    {"_wcsdup", EKind::Allocation, -1},
    {"_Znwy", EKind::Allocation, -1},
    {"_Znay", EKind::Allocation, -1},
    {"_ZnwyRKSt9nothrow_t", EKind::Allocation, -1},
    {"_ZnayRKSt9nothrow_t", EKind::Allocation, -1},
    {"HeapAlloc", EKind::Allocation, -1},
    {"HeapReAlloc", EKind::Allocation, -1},
    {"LocalAlloc", EKind::Allocation, -1},
    {"LocalReAlloc", EKind::Allocation, -1},
    {"GlobalAlloc", EKind::Allocation, -1},
    {"GlobalReAlloc", EKind::Allocation, -1},
    {"VirtualAlloc", EKind::Allocation, -1},
    {"RtlAllocateHeap", EKind::Allocation, -1},
    {"RtlReAllocateHeap", EKind::Allocation, -1},
    {"free", EKind::Release, 0},
    {"_free_base", EKind::Release, 0},
    {"_aligned_free", EKind::Release, 0},
    {"_ZdlPv", EKind::Release, 0},
    {"_ZdaPv", EKind::Release, 0},
    {"_ZdlPvy", EKind::Release, 0},
    {"_ZdaPvy", EKind::Release, 0},
    {"HeapFree", EKind::Release, 2},
    {"LocalFree", EKind::Release, 0},
    {"GlobalFree", EKind::Release, 0},
    {"VirtualFree", EKind::Release, 0},
    {"RtlFreeHeap", EKind::Release, 2},
};

constexpr std::size_t kSlots = 96;

// One patched import: the function it stood for and where the forwarder goes on.
struct SSlot {
    std::atomic<std::uintptr_t> original{0};
    EKind kind = EKind::Allocation;
    int blockArgument = -1;
};

std::array<SSlot, kSlots> gSlots;
std::size_t gSlotsUsed = 0;
std::mutex gPatchMutex;
std::atomic<DWORD> gArmedThread{0};
std::atomic<std::uint64_t> gAllocations{0};
std::atomic<std::uint64_t> gReleases{0};

using Forwarded = std::uintptr_t (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                     std::uintptr_t);

// Every heap function takes at most four integer or pointer arguments, which the x64 calling
// convention passes in the same four registers whatever the prototype, and answers in the
// same register: one forwarder shape serves them all.
template <std::size_t Slot>
std::uintptr_t Forwarder(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
    SSlot& slot = gSlots[Slot];
    if (gArmedThread.load(std::memory_order_relaxed) == GetCurrentThreadId()) {
        if (slot.kind == EKind::Allocation) {
            gAllocations.fetch_add(1, std::memory_order_relaxed);
        } else {
            const std::uintptr_t args[4] = {a, b, c, d};
            if (args[slot.blockArgument] != 0) {
                gReleases.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    const auto next = reinterpret_cast<Forwarded>(slot.original.load(std::memory_order_relaxed));
    return next(a, b, c, d);
}

template <std::size_t... I>
constexpr std::array<Forwarded, kSlots> MakeForwarders(std::index_sequence<I...>) {
    return {{&Forwarder<I>...}};
}

const std::array<Forwarded, kSlots> kForwarders =
    MakeForwarders(std::make_index_sequence<kSlots>{});

const SHeapFunction* FindHeapFunction(const char* name) {
    for (const SHeapFunction& f : kHeapFunctions) {
        if (std::strcmp(f.name, name) == 0) {
            return &f;
        }
    }
    return nullptr;
}

bool IsForwarder(std::uintptr_t address) {
    for (const Forwarded f : kForwarders) {
        if (reinterpret_cast<std::uintptr_t>(f) == address) {
            return true;
        }
    }
    return false;
}

// The forwarder for an original function, sharing the slot when another import (of this or
// an earlier load of the module) already leads to it. 0 when the slots are used up.
std::uintptr_t ForwarderFor(std::uintptr_t original, const SHeapFunction& f) {
    for (std::size_t i = 0; i < gSlotsUsed; ++i) {
        if (gSlots[i].original.load(std::memory_order_relaxed) == original) {
            return reinterpret_cast<std::uintptr_t>(kForwarders[i]);
        }
    }
    if (gSlotsUsed == kSlots) {
        return 0;
    }
    SSlot& slot = gSlots[gSlotsUsed];
    slot.kind = f.kind;
    slot.blockArgument = f.blockArgument;
    slot.original.store(original, std::memory_order_relaxed);
    return reinterpret_cast<std::uintptr_t>(kForwarders[gSlotsUsed++]);
}

bool WriteEntry(std::uintptr_t* entry, std::uintptr_t value) {
    DWORD old = 0;
    if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old)) {
        return false;
    }
    *entry = value;
    DWORD ignored = 0;
    VirtualProtect(entry, sizeof *entry, old, &ignored);
    return true;
}

} // namespace

bool Prepare(void* module, std::string& why) {
    const std::lock_guard<std::mutex> lock(gPatchMutex);
    auto* base = static_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        why = "the plug-in module is not a PE image";
        return false;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        why = "the plug-in module is not a 64-bit PE image";
        return false;
    }
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) {
        return true; // imports nothing, so it allocates through nothing we could see either
    }
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name != 0; ++d) {
        if (d->FirstThunk == 0 || d->OriginalFirstThunk == 0) {
            continue; // without the name table the entries cannot be told apart
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + d->OriginalFirstThunk);
        auto* entries = reinterpret_cast<std::uintptr_t*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const SHeapFunction* f = FindHeapFunction(reinterpret_cast<const char*>(byName->Name));
            if (f == nullptr || IsForwarder(*entries)) {
                continue;
            }
            const std::uintptr_t forwarder = ForwarderFor(*entries, *f);
            if (forwarder == 0) {
                why = "the plug-in imports more heap functions than the tool can follow";
                return false;
            }
            if (!WriteEntry(entries, forwarder)) {
                why = "the plug-in's import table cannot be written";
                return false;
            }
        }
    }
    return true;
}

void Arm() {
    gArmedThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

void Disarm() {
    gArmedThread.store(0, std::memory_order_relaxed);
}

SCounts Counts() {
    SCounts c;
    c.allocations = gAllocations.load(std::memory_order_relaxed);
    c.releases = gReleases.load(std::memory_order_relaxed);
    return c;
}

void Reset() {
    gAllocations.store(0, std::memory_order_relaxed);
    gReleases.store(0, std::memory_order_relaxed);
}

// Only the plug-in's imports are patched, so the host's own calls are never counted.
CPause::CPause() = default;
CPause::~CPause() = default;

} // namespace VLM::Alloc
