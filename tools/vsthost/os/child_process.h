// Running one validator test in a process of its own, bounded in time, so that a plug-in that
// crashes or hangs fails that test instead of ending or stopping the whole run.
#pragma once

#include <string>
#include <vector>

namespace VLM {

struct SChildRun {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    std::string why; // why it did not start
};

// This program's own path, for running it again.
std::string OwnExecutable();

// A fresh, empty directory for the run's files.
std::string MakeTemporaryDirectory();
void RemoveTemporaryDirectory(const std::string& directory, const std::vector<std::string>& files);

// Runs this program with `args`, its standard output and error going to `outputFile`,
// and ends it when it takes more than `timeoutSeconds`.
SChildRun RunChild(const std::vector<std::string>& args, const std::string& outputFile,
                   double timeoutSeconds);

} // namespace VLM
