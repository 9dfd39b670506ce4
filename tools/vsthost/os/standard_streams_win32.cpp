#include "os/standard_streams.h"

#include "os/utf16_win32.h"

#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

namespace VLM {

std::vector<std::string> CommandLineArguments(int, char**) {
    // The narrow argv is in the ANSI code page; take the wide command line for UTF-8 paths.
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(Narrow(wide[i]));
    }
    LocalFree(wide);
    return args;
}

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace VLM
