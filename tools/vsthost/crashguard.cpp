#include "crashguard.h"

#include "errors.h"

#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <cstdlib>
#include <unistd.h>
#endif

namespace VLM {
namespace {

thread_local const char* tCurrentCall = nullptr;

// Only async-signal-safe calls from here on: the heap and stdio may be corrupt.
void WriteRaw(const char* text) {
    const std::size_t n = std::strlen(text);
#if defined(_WIN32)
    _write(2, text, static_cast<unsigned>(n));
#else
    ssize_t ignored = write(2, text, n);
    (void)ignored;
#endif
}

void ReportCrash(const char* kind) {
    const char* call = tCurrentCall;
    WriteRaw("vsthost: ");
    if (call != nullptr) {
        WriteRaw("the plug-in crashed (");
        WriteRaw(kind);
        WriteRaw(") during ");
        WriteRaw(call);
    } else {
        WriteRaw("internal fault (");
        WriteRaw(kind);
        WriteRaw(")");
    }
    WriteRaw("\n");
}

#if defined(_WIN32)
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
    const DWORD code = info != nullptr && info->ExceptionRecord != nullptr
                           ? info->ExceptionRecord->ExceptionCode
                           : 0;
    const char* kind = "exception";
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        kind = "access violation";
        break;
    case EXCEPTION_STACK_OVERFLOW:
        kind = "stack overflow";
        break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        kind = "illegal instruction";
        break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        kind = "division by zero";
        break;
    default:
        break;
    }
    ReportCrash(kind);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kExitPluginCrash));
    return EXCEPTION_EXECUTE_HANDLER;
}
#else
void OnSignal(int signal) {
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
    ReportCrash(kind);
    _exit(kExitPluginCrash);
}
#endif

} // namespace

void InstallCrashGuard() {
#if defined(_WIN32)
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnUnhandledException);
#else
    // A separate stack, so that a stack overflow in the plug-in is reported as well.
    static char alternateStack[64 * 1024];
    stack_t st{};
    st.ss_sp = alternateStack;
    st.ss_size = sizeof alternateStack;
    sigaltstack(&st, nullptr);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        sigaction(s, &action, nullptr);
    }
#endif
}

CCallGuard::CCallGuard(const char* what) : previous(tCurrentCall) {
    tCurrentCall = what;
}

CCallGuard::~CCallGuard() {
    tCurrentCall = previous;
}

} // namespace VLM
