#include "os/crashguard.h"

#include <atomic>

namespace VLM {
namespace {

thread_local const char* tCurrentCall = nullptr;
// For a way out taken on a thread other than the one in the plug-in: a thread of the
// plug-in's own that ends the process, the C runtime's exit handlers.
std::atomic<int> gCallsRunning{0};
std::atomic<const char*> gLastCall{nullptr};

} // namespace

CCallGuard::CCallGuard(const char* what) : previous(tCurrentCall) {
    tCurrentCall = what;
    gLastCall.store(what, std::memory_order_relaxed);
    gCallsRunning.fetch_add(1, std::memory_order_relaxed);
}

CCallGuard::~CCallGuard() {
    gCallsRunning.fetch_sub(1, std::memory_order_relaxed);
    tCurrentCall = previous;
}

namespace CrashGuard {

const char* CurrentCall() {
    return tCurrentCall;
}

const char* AnyCurrentCall() {
    return gCallsRunning.load(std::memory_order_relaxed) > 0
               ? gLastCall.load(std::memory_order_relaxed)
               : nullptr;
}

void Report(const char* what, const char* detail, const char* call) {
    WriteRaw("vsthost: ");
    WriteRaw(what);
    WriteRaw(" (");
    WriteRaw(detail);
    WriteRaw(")");
    if (call != nullptr) {
        WriteRaw(" during ");
        WriteRaw(call);
    }
    WriteRaw("\n");
}

} // namespace CrashGuard
} // namespace VLM
