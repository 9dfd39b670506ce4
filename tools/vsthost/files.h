// File-system operations the commands need, the same on Linux and Windows.
#pragma once

#include <cstdio>
#include <string>

namespace VLM {

/// fopen with a UTF-8 path on every platform.
std::FILE* OpenStream(const std::string& path, const char* mode);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
/// True when both paths name one existing file (through links, different spellings, ...).
bool SameFile(const std::string& a, const std::string& b);
/// Moves `from` over `to`, replacing it; throws Exceptions::HostFailure on failure.
void MoveOver(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);
/// A name next to `path` for writing before the result replaces `path`.
std::string TemporaryNameFor(const std::string& path);
bool StderrIsTerminal();

} // namespace VLM
