#include "os/crashguard.h"

#include "common/errors.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace VLM {
namespace {

// Only async-signal-safe calls below: the heap and stdio may be corrupt or locked.
char gPendingFile[4096];
std::atomic<bool> gHasPendingFile{false};

void RemovePendingFile() {
    if (gHasPendingFile.exchange(false)) {
        unlink(gPendingFile);
    }
}

// Straight to the kernel: exit and _exit may be the plug-in's way in here, and atexit
// handlers must not run after a crash.
[[noreturn]] void EndProcess(int status) {
    for (;;) {
        syscall(SYS_exit_group, status);
    }
}

void OnCrashSignal(int signal) {
    const char* kind = "signal";
    switch (signal) {
    case SIGSEGV:
        kind = "segmentation fault";
        break;
    case SIGBUS:
        kind = "bus error";
        break;
    case SIGFPE:
        kind = "arithmetic fault";
        break;
    case SIGILL:
        kind = "illegal instruction";
        break;
    case SIGABRT:
        kind = "abort";
        break;
    default:
        break;
    }
    RemovePendingFile();
    const char* call = CrashGuard::CurrentCall();
    CrashGuard::Report(call != nullptr ? "the plug-in crashed" : "internal fault", kind, call);
    EndProcess(kExitPluginCrash);
}

// Interrupted or told to stop: no half-written file, then the status the shell expects.
void OnTerminationSignal(int signal) {
    RemovePendingFile();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

} // namespace

void InstallCrashGuard() {
    // A separate stack, so that a stack overflow in the plug-in is reported as well.
    static char alternateStack[64 * 1024];
    stack_t st{};
    st.ss_sp = alternateStack;
    st.ss_size = sizeof alternateStack;
    sigaltstack(&st, nullptr);
    struct sigaction action {};
    action.sa_handler = OnCrashSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        sigaction(s, &action, nullptr);
    }
    action.sa_handler = OnTerminationSignal;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction previous {};
        // A signal the caller chose to ignore stays ignored (nohup, a shell's background job).
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
            sigaction(s, &action, nullptr);
        }
    }
}

void SetPendingFile(const std::string& path) {
    gHasPendingFile.store(false);
    if (!path.empty() && path.size() < sizeof gPendingFile) {
        std::memcpy(gPendingFile, path.c_str(), path.size() + 1);
        gHasPendingFile.store(true);
    }
}

namespace CrashGuard {

void WriteRaw(const char* text) {
    const ssize_t ignored = write(2, text, std::strlen(text));
    (void)ignored;
}

void OnProcessEnd(const char* how) {
    const char* call = CurrentCall();
    if (call == nullptr) {
        call = AnyCurrentCall();
    }
    if (call == nullptr && !gHasPendingFile.load()) {
        return;
    }
    RemovePendingFile();
    Report("the plug-in ended the process", how, call);
    EndProcess(kExitPluginCrash);
}

} // namespace CrashGuard
} // namespace VLM
