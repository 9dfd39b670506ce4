// vsthost: a small command-line VST 2.4 host. Every failure ends in one line on stderr and a
// non-zero exit code; see UsageText() for the commands.
#include "commands/commands.h"
#include "commands/options.h"
#include "common/errors.h"
#include "common/text_format.h"
#include "host/plugin.h"
#include "os/crashguard.h"
#include "os/standard_streams.h"
#include "validate/validator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

int Run(const VLM::SOptions& options) {
    switch (options.command) {
    case VLM::ECommand::Info:
        return VLM::RunInfo(options);
    case VLM::ECommand::Render:
        return VLM::RunRender(options);
    case VLM::ECommand::Response:
        return VLM::RunResponse(options);
    case VLM::ECommand::Editor:
        return VLM::RunEditor(options);
    case VLM::ECommand::Validate:
        return VLM::RunValidate(options);
    case VLM::ECommand::PresetSave:
        return VLM::RunPresetSave(options);
    case VLM::ECommand::PresetShow:
        return VLM::RunPresetShow(options);
    case VLM::ECommand::Version:
        std::fputs(VLM::VersionText(), stdout);
        return VLM::kExitOk;
    case VLM::ECommand::Help:
    default:
        std::fputs(VLM::UsageText(), stdout);
        return VLM::kExitOk;
    }
}

// Whatever a command printed must have reached standard output: a full disk or a closed
// device makes the run a failure, in the system's words. Called once, when the command ends.
bool StandardOutputWritten() {
    const int earlier = errno;
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && std::ferror(stdout) == 0) {
        return true;
    }
    // With nothing left to flush, the write that failed was an earlier one (a formatted print
    // writes at once on some runtimes): its reason is the last the runtime recorded.
    const int reason = !flushed && error != 0 ? error : earlier != 0 ? earlier : EIO;
    std::fprintf(stderr, "vsthost: cannot write to standard output: %s\n", std::strerror(reason));
    return false;
}

void Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "vsthost: %s\n", VLM::Printable(message).c_str());
}

} // namespace

int main(int argc, char** argv) {
    VLM::PrepareStandardStreams();
    VLM::InstallCrashGuard();
    try {
        const VLM::SOptions options = VLM::ParseCommandLine(VLM::CommandLineArguments(argc, argv));
        VLM::HostContext().logCallbacks.store(options.log);
        const int code = Run(options);
        if (!StandardOutputWritten()) {
            return code == VLM::kExitOk ? VLM::kExitFailure : code;
        }
        return code;
    } catch (const VLM::Exceptions::Usage& e) {
        Fail(e.what());
        return VLM::kExitUsage;
    } catch (const VLM::Exceptions::HostFailure& e) {
        Fail(e.what());
        return VLM::kExitFailure;
    } catch (const std::bad_alloc&) {
        Fail("out of memory");
        return VLM::kExitFailure;
    } catch (const std::exception& e) {
        Fail(std::string("unexpected failure: ") + e.what());
        return VLM::kExitFailure;
    } catch (...) {
        Fail("the plug-in threw an exception");
        return VLM::kExitPluginCrash;
    }
}
