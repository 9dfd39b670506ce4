// vsthost: a small command-line VST 2.4 host. Every failure ends in one line on stderr and a
// non-zero exit code; see UsageText() for the commands.
#include "commands.h"
#include "crashguard.h"
#include "errors.h"
#include "options.h"
#include "plugin.h"
#include "text.h"
#include "validate.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#if defined(_WIN32)
    // The narrow argv is in the ANSI code page; take the wide command line for UTF-8 paths.
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(VLM::Narrow(wide[i]));
    }
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
#endif
    return args;
}

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
    case VLM::ECommand::Help:
    default:
        std::fputs(VLM::UsageText(), stdout);
        return VLM::kExitOk;
    }
}

void Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "vsthost: %s\n", VLM::Printable(message).c_str());
}

} // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // Plain "\n" line ends, the same output as the Linux build.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    VLM::InstallCrashGuard();
    try {
        const VLM::SOptions options = VLM::ParseCommandLine(Arguments(argc, argv));
        VLM::HostContext().logCallbacks.store(options.log);
        const int code = Run(options);
        std::fflush(stdout);
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
