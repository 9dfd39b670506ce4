// Turns a crash inside the plug-in (or anywhere in the process) into one line on stderr and
// a distinct exit code, naming the plug-in call that was running on the crashing thread.
#pragma once

namespace VLM {

/// Installs the process-wide handlers; call once at start-up.
void InstallCrashGuard();

/// Names the plug-in call running on this thread for as long as the object lives.
/// `what` must be a string literal or otherwise outlive the object.
class CCallGuard {
public:
    explicit CCallGuard(const char* what);
    ~CCallGuard();
    CCallGuard(const CCallGuard&) = delete;
    CCallGuard& operator=(const CCallGuard&) = delete;

private:
    const char* previous;
};

} // namespace VLM
