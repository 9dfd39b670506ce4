#include "io/output_file.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "os/crashguard.h"
#include "os/files.h"

namespace VLM {
namespace {

std::string Quoted(const std::string& path) {
    return "'" + Printable(path) + "'";
}

} // namespace

COutputFile::COutputFile(const std::string& userPath) : path(userPath) {
    if (path == "-") {
        if (StdoutIsTerminal()) {
            throw Exceptions::HostFailure("refusing to write audio to the terminal: redirect "
                                          "standard output to a file or another program");
        }
        stream = TakeStandardOutput();
        if (stream == nullptr) {
            throw Exceptions::HostFailure("cannot write to standard output: " + LastErrorText());
        }
        standardOutput = true;
        return;
    }
    switch (PathKind(path)) {
    case EPathKind::Directory:
        throw Exceptions::HostFailure("cannot write " + Quoted(path) + ": it is a directory");
    case EPathKind::Socket:
        throw Exceptions::HostFailure("cannot write " + Quoted(path) + ": it is a socket");
    case EPathKind::Other:
        throw Exceptions::HostFailure("cannot write " + Quoted(path) +
                                      ": it is not a file, a device or a FIFO");
    case EPathKind::Device:
    case EPathKind::Fifo:
        // Never replaced: whatever reads from it gets the stream as it is written.
        stream = OpenStream(path, "wb");
        if (stream == nullptr) {
            throw Exceptions::HostFailure("cannot write " + Quoted(path) + ": " + LastErrorText());
        }
        return;
    case EPathKind::Regular:
    case EPathKind::Missing:
        break;
    }
    target = FollowLinks(path);
    temporary = TemporaryNameFor(target);
    // A file left by an earlier run of a process with the same id is stale.
    RemoveFile(temporary);
    SetPendingFile(temporary);
    stream = CreateNewFile(temporary);
    if (stream == nullptr) {
        const std::string reason = LastErrorText();
        temporary.clear();
        SetPendingFile("");
        throw Exceptions::HostFailure("cannot write " + Quoted(path) + ": " + reason);
    }
    if (FileExists(target)) {
        CopyPermissions(target, temporary);
    }
}

COutputFile::~COutputFile() {
    if (stream != nullptr) {
        std::fclose(stream);
    }
    if (!temporary.empty()) {
        RemoveFile(temporary);
        SetPendingFile("");
    }
}

void COutputFile::Commit() {
    const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    if (!temporary.empty()) {
        KeepFile(stream);
    }
    std::string reason = flushed ? "" : LastErrorText();
    if (std::fclose(stream) != 0 && reason.empty()) {
        reason = LastErrorText();
    }
    stream = nullptr;
    if (!reason.empty()) {
        throw Exceptions::HostFailure(
            (standardOutput ? "cannot write to standard output" : "cannot write " + Quoted(path)) +
            ": " + reason);
    }
    if (!temporary.empty()) {
        if (!MoveOver(temporary, target)) {
            throw Exceptions::HostFailure("cannot write " + Quoted(path) + ": " + LastErrorText());
        }
        SetPendingFile("");
        temporary.clear();
    }
}

} // namespace VLM
