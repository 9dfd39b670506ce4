#include "validate_process.h"

#include "text.h"

#include <chrono>
#include <cstdio>
#include <thread>

#if defined(_WIN32)
#include <windows.h>

#include "text_win32.h"
#else
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace VLM {

#if defined(_WIN32)

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

#else

std::string OwnExecutable() {
    char path[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::string MakeTemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vsthost-validate-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return "/tmp";
    }
    return pattern;
}

void RemoveTemporaryDirectory(const std::string& directory, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        unlink(f.c_str());
    }
    rmdir(directory.c_str());
}

SChildRun RunChild(const std::vector<std::string>& args, const std::string& outputFile,
                   double timeoutSeconds) {
    SChildRun run;
    const std::string self = OwnExecutable();
    std::vector<std::string> argv{self};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);
    const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        run.why = "cannot create " + outputFile + ": " + std::strerror(errno);
        return run;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        // A group of its own: whatever the plug-in starts ends with it.
        setpgid(0, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(self.c_str(), pointers.data());
        _exit(127);
    }
    close(out);
    if (pid < 0) {
        run.why = std::string("cannot start a test process: ") + std::strerror(errno);
        return run;
    }
    run.started = true;
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(timeoutSeconds));
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            run.timedOut = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

#endif

} // namespace VLM
