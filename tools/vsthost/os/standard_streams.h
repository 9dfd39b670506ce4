// How the tool meets its process: the command line and the standard streams.
#pragma once

#include <string>
#include <vector>

namespace VLM {

// The arguments after the program name, in UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Standard output and error in binary mode: plain "\n" line ends on every system, and a
// WAV written to standard output arrives byte for byte.
void PrepareStandardStreams();

} // namespace VLM
