// Turns a crash inside the plug-in (or anywhere in the process), a plug-in that ends the
// process, and a termination request into one line on stderr and a distinct exit status,
// naming the plug-in call that was running; and removes an unfinished output file on each
// of these ways out.
#pragma once

#include <string>

namespace VLM {

// Installs the process-wide handlers; call once at start-up.
void InstallCrashGuard();

// Names the plug-in call running on this thread for as long as the object lives.
// `what` must be a string literal or otherwise outlive the object.
class CCallGuard {
public:
    explicit CCallGuard(const char* what);
    ~CCallGuard();
    CCallGuard(const CCallGuard&) = delete;
    CCallGuard& operator=(const CCallGuard&) = delete;

private:
    const char* previous;
};

// A file being written that must not survive the process unless the run completes: removed
// on a crash, a termination signal or console event, or a plug-in ending the process. One
// at a time; an empty path clears it.
void SetPendingFile(const std::string& path);

namespace CrashGuard {
// The plug-in call running on this thread, or null. [any thread] (signal-safe)
const char* CurrentCall();
// The call most recently entered on any thread, while at least one is running; else null.
const char* AnyCurrentCall();
// When the process is being ended from inside a plug-in call or while a pending file
// exists, removes the file, reports the call and ends the process with kExitPluginCrash;
// otherwise returns. `how` names the way out ("exit(0)").
void OnProcessEnd(const char* how);
// One line on stderr, "vsthost: WHAT (DETAIL) during CALL", without the part about the call
// when `call` is null. [signal-safe]
void Report(const char* what, const char* detail, const char* call);
// Writes to stderr without the heap or stdio. [signal-safe]
void WriteRaw(const char* text);
} // namespace CrashGuard

} // namespace VLM
