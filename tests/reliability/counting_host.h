// A host callback that any thread may call at any time, as the effect's threads do: it answers
// the version query and counts what the effect reports, with nothing but atomic counters.
#pragma once

#include "host/aeffect.h"

#include <atomic>

// Set when the program runs under a sanitizer, which owns the allocator and the thread hooks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VLM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VLM_SANITIZED 1
#endif
#endif
#ifndef VLM_SANITIZED
#define VLM_SANITIZED 0
#endif

namespace VLM {
namespace Reliability {

struct HostCounters {
    std::atomic<long> automations{0};
    // Automation a host could not store: an index beyond the ten announced parameters, or a
    // value outside 0..1.
    std::atomic<long> badAutomations{0};
    std::atomic<long> beginEdits{0};
    std::atomic<long> endEdits{0};
};

inline HostCounters& Counters() {
    static HostCounters counters;
    return counters;
}

inline VstIntPtr VLM_VSTCALL CountingHost(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr /*value*/, void* /*ptr*/, float opt) {
    HostCounters& counters = Counters();
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterAutomate:
        counters.automations.fetch_add(1, std::memory_order_relaxed);
        if (index < 0 || index >= 10 || !(opt >= 0.0f && opt <= 1.0f)) {
            counters.badAutomations.fetch_add(1, std::memory_order_relaxed);
        }
        return 0;
    case audioMasterBeginEdit:
        counters.beginEdits.fetch_add(1, std::memory_order_relaxed);
        return 1;
    case audioMasterEndEdit:
        counters.endEdits.fetch_add(1, std::memory_order_relaxed);
        return 1;
    default:
        return 0;
    }
}

} // namespace Reliability
} // namespace VLM
