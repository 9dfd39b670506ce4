#include "os/child_process.h"

#include "common/text_format.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include <windows.h>

#include "os/utf16_win32.h"

namespace VLM {

namespace {

// The quoting CommandLineToArgvW undoes: backslashes double only before a quote.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

} // namespace

std::string OwnExecutable() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return Narrow(path);
}

std::string MakeTemporaryDirectory() {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring dir = std::wstring(base) + L"vsthost-validate-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(attempt);
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            return Narrow(dir);
        }
    }
    return Narrow(base);
}

void RemoveTemporaryDirectory(const std::string& directory, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        DeleteFileW(Widen(f).c_str());
    }
    RemoveDirectoryW(Widen(directory).c_str());
}

SChildRun RunChild(const std::vector<std::string>& args, const std::string& outputFile,
                   double timeoutSeconds) {
    SChildRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(Widen(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        run.why = "cannot create " + outputFile;
        return run;
    }
    std::wstring command = Quote(Widen(OwnExecutable()));
    for (const std::string& a : args) {
        command += L" " + Quote(Widen(a));
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &si, &pi);
    CloseHandle(out);
    if (!ok) {
        run.why = Format("cannot start a test process (error %lu)",
                         static_cast<unsigned long>(GetLastError()));
        return run;
    }
    run.started = true;
    const double ms = timeoutSeconds * 1000.0;
    const DWORD wait = ms >= 4.0e9 ? INFINITE : static_cast<DWORD>(ms);
    if (WaitForSingleObject(pi.hProcess, wait) == WAIT_TIMEOUT) {
        run.timedOut = true;
        TerminateProcess(pi.hProcess, 124);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

} // namespace VLM
