// Where render's output goes. A regular file (or a new one) is written under a temporary
// name next to it and moved into place only when complete, keeping its permission bits; a
// symbolic link is followed, so the file it points at is replaced and the link stays. A
// device, a FIFO or "-" (standard output) is written directly, as a stream.
#pragma once

#include <cstdio>
#include <string>

namespace VLM {

class COutputFile {
public:
    // Decides how `path` is written and opens the stream; throws Exceptions::HostFailure
    // naming `path` when it cannot be written.
    explicit COutputFile(const std::string& path);
    // Removes the temporary file unless Commit() succeeded.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    std::FILE* Stream() const { return stream; }
    // False for a stream: the writer cannot go back to complete the header.
    bool Seekable() const { return !temporary.empty(); }
    // True when the output is standard output, which then carries nothing else: the
    // tool's own output goes to standard error instead.
    bool IsStandardOutput() const { return standardOutput; }
    // Closes the stream and moves the result into place.
    void Commit();

private:
    std::string path;      // as the user wrote it, for messages
    std::string target;    // the file that is replaced (links followed)
    std::string temporary; // empty when writing directly
    std::FILE* stream = nullptr;
    bool standardOutput = false;
};

} // namespace VLM
