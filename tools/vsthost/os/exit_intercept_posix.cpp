// The executable's own exit, _exit and _Exit, exported so that a plug-in calling them lands
// here first: a plug-in ending the process in the middle of a call is a fault to report, not
// a run that succeeded. Anyone else's call goes on to the C library.
#include "os/crashguard.h"

#include <dlfcn.h>

namespace {

using ExitFunction = void (*)(int);

// "exit(-12)" without the heap: the plug-in may have left it in any state.
void Describe(char* out, const char* name, int status) {
    char digits[16];
    int n = 0;
    unsigned value =
        status < 0 ? 0u - static_cast<unsigned>(status) : static_cast<unsigned>(status);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (*name != '\0') {
        *out++ = *name++;
    }
    *out++ = '(';
    if (status < 0) {
        *out++ = '-';
    }
    while (n > 0) {
        *out++ = digits[--n];
    }
    *out++ = ')';
    *out = '\0';
}

[[noreturn]] void Forward(const char* name, int status) {
    char how[48];
    Describe(how, name, status);
    VLM::CrashGuard::OnProcessEnd(how);
    auto next = reinterpret_cast<ExitFunction>(dlsym(RTLD_NEXT, name));
    next(status);
    __builtin_unreachable();
}

} // namespace

extern "C" {
__attribute__((visibility("default"))) void exit(int status) noexcept {
    Forward("exit", status);
}
__attribute__((visibility("default"))) void _exit(int status) noexcept {
    Forward("_exit", status);
}
__attribute__((visibility("default"))) void _Exit(int status) noexcept {
    Forward("_Exit", status);
}
}
