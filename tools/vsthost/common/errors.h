// Failures of the host tool. Each carries one line of text for the user; main() prints it
// and turns the kind into the exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace VLM::Exceptions {

// A run that could not be completed: a file, the plug-in or the operating system failed.
class HostFailure : public std::runtime_error {
public:
    explicit HostFailure(const std::string& message) : std::runtime_error(message) {}
};

// The command line itself is wrong; nothing was loaded or written.
class Usage : public HostFailure {
public:
    explicit Usage(const std::string& message) : HostFailure(message) {}
};

} // namespace VLM::Exceptions

namespace VLM {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPluginCrash = 3;

} // namespace VLM
