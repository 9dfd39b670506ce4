// Runs the vsthost binary as a user's shell does and collects what it answered; shared by the
// tool's command-line tests.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace cli {

struct SRun {
    int code = -1;
    std::string out;
    std::string err;
    long peakKb = 0; // the run's peak resident set size
};

inline std::string Dir() {
    static const std::string dir = [] {
        std::filesystem::create_directories(VLM_TEST_TEMP_DIR);
        return std::string(VLM_TEST_TEMP_DIR);
    }();
    return dir;
}

inline std::string Path(const std::string& name) {
    return Dir() + "/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct SEnvironment {
    std::vector<std::pair<std::string, std::string>> variables;
    std::string directory; // the working directory; empty: the test's own
    std::string terminal;  // a device for standard output (a terminal, /dev/full); empty: a file
};

inline pid_t StartTool(const std::vector<std::string>& args, const SEnvironment& env) {
    const std::string outPath = Path("run.out"), errPath = Path("run.err");
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env.variables) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        // As a user's shell starts it, whatever the test runner ignores.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            std::signal(s, SIG_DFL);
        }
        if (!env.directory.empty() && chdir(env.directory.c_str()) != 0) {
            _exit(126);
        }
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(env.terminal.empty() ? out : open(env.terminal.c_str(), O_WRONLY | O_NOCTTY), 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(VLM_VSTHOST)};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(VLM_VSTHOST, argv.data());
        _exit(127);
    }
    return pid;
}

inline SRun FinishTool(pid_t pid) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    SRun r;
    r.peakKb = usage.ru_maxrss;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(Path("run.out"));
    r.err = ReadFile(Path("run.err"));
    return r;
}

inline SRun RunTool(const std::vector<std::string>& args,
                    const std::vector<std::pair<std::string, std::string>>& env = {}) {
    return FinishTool(StartTool(args, {env, "", ""}));
}

} // namespace cli
