#include "os/child_process.h"

#include "common/text_format.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace VLM {

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

} // namespace VLM
