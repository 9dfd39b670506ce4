#include "os/crashguard.h"

#include "common/errors.h"
#include "os/utf16_win32.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <io.h>
#include <windows.h>

namespace VLM {
namespace {

// The usual status of a console program stopped by Ctrl-C or Ctrl-Break.
constexpr UINT kControlCExit = 0xC000013AU;

// Only calls that need neither the heap nor stdio below: they may be corrupt or locked.
wchar_t gPendingFile[32768];
std::atomic<bool> gHasPendingFile{false};

// The pending file is opened with delete sharing (see COutputFile), so it can be removed
// while still open; it disappears when the process ends and its handle is closed.
void RemovePendingFile() {
    if (gHasPendingFile.exchange(false)) {
        DeleteFileW(gPendingFile);
    }
}

[[noreturn]] void EndProcess(UINT status) {
    for (;;) {
        TerminateProcess(GetCurrentProcess(), status);
    }
}

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
    RemovePendingFile();
    const char* call = CrashGuard::CurrentCall();
    CrashGuard::Report(call != nullptr ? "the plug-in crashed" : "internal fault", kind, call);
    EndProcess(static_cast<UINT>(kExitPluginCrash));
}

// Runs on a thread of its own while the render goes on.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RemovePendingFile();
        EndProcess(kControlCExit);
    default:
        return FALSE;
    }
}

} // namespace

void InstallCrashGuard() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnUnhandledException);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // exit() called by a plug-in through a runtime the tool does not watch.
    std::atexit([] { CrashGuard::OnProcessEnd("exit"); });
}

void SetPendingFile(const std::string& path) {
    gHasPendingFile.store(false);
    const std::wstring wide = Widen(path);
    if (!wide.empty() && wide.size() < sizeof gPendingFile / sizeof gPendingFile[0]) {
        std::memcpy(gPendingFile, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        gHasPendingFile.store(true);
    }
}

namespace CrashGuard {

void WriteRaw(const char* text) {
    _write(2, text, static_cast<unsigned>(std::strlen(text)));
}

void OnProcessEnd(const char* how) {
    const char* call = AnyCurrentCall();
    if (call == nullptr && !gHasPendingFile.load()) {
        return;
    }
    RemovePendingFile();
    Report("the plug-in ended the process", how, call);
    EndProcess(static_cast<UINT>(kExitPluginCrash));
}

} // namespace CrashGuard
} // namespace VLM
