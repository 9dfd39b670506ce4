// File-system operations the commands need, the same on Linux and Windows. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace VLM {

// fopen with a UTF-8 path on every platform.
std::FILE* OpenStream(const std::string& path, const char* mode);
// ftell and fseek with 64-bit offsets (long has 32 bits on Windows).
std::int64_t TellStream(std::FILE* stream);
int SeekStream(std::FILE* stream, std::int64_t offset, int origin);

enum class EPathKind { Missing, Regular, Directory, Device, Fifo, Socket, Other };
// What `path` names, through symbolic links.
EPathKind PathKind(const std::string& path);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// True when both paths name one existing file (through links, different spellings, ...).
bool SameFile(const std::string& a, const std::string& b);
// Where a chain of symbolic links starting at `path` ends; `path` itself when it is no link.
std::string FollowLinks(const std::string& path);
// Moves `from` over `to`, replacing it; false on failure (see LastErrorText).
bool MoveOver(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);
// Creates `path`, which must not exist yet, for writing in binary; null on failure (see
// LastErrorText). On Windows it may be removed while open, and it is removed by the system
// when the process ends, however it ends, unless KeepFile was called.
std::FILE* CreateNewFile(const std::string& path);
// Keeps a file made by CreateNewFile when the process ends; call before closing it.
void KeepFile(std::FILE* stream);
// Gives `path` the permission bits of the existing file `model`.
void CopyPermissions(const std::string& model, const std::string& path);
// A name next to `path` for writing before the result replaces `path`, within the file
// system's limit on the length of a name.
std::string TemporaryNameFor(const std::string& path);
// '/' everywhere; '\\' and the drive's ':' as well on Windows.
bool IsPathSeparator(char c);
long ProcessId();
bool StderrIsTerminal();
bool StdoutIsTerminal();
// A binary stream on the process's standard output; from then on anything else written to
// standard output (by the tool or by the plug-in) goes to standard error. Null on failure.
std::FILE* TakeStandardOutput();
// The system's own words for the last failed call ("Permission denied", "Access is denied").
std::string LastErrorText();

} // namespace VLM
