#include "os/files.h"

#include "common/errors.h"
#include "common/text_format.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VLM {

std::FILE* OpenStream(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::int64_t TellStream(std::FILE* stream) {
    return ftello(stream);
}

int SeekStream(std::FILE* stream, std::int64_t offset, int origin) {
    return fseeko(stream, static_cast<off_t>(offset), origin);
}

EPathKind PathKind(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return EPathKind::Missing;
    }
    if (S_ISREG(st.st_mode)) {
        return EPathKind::Regular;
    }
    if (S_ISDIR(st.st_mode)) {
        return EPathKind::Directory;
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return EPathKind::Device;
    }
    if (S_ISFIFO(st.st_mode)) {
        return EPathKind::Fifo;
    }
    return S_ISSOCK(st.st_mode) ? EPathKind::Socket : EPathKind::Other;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string FollowLinks(const std::string& path) {
    std::string at = path;
    // The kernel's own limit on a chain of links; a loop ends here and fails on opening.
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            break;
        }
        const std::string link(target, static_cast<std::size_t>(n));
        const std::size_t slash = at.rfind('/');
        at = link[0] == '/' || slash == std::string::npos ? link : at.substr(0, slash + 1) + link;
    }
    return at;
}

bool MoveOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
    std::remove(path.c_str());
}

std::FILE* CreateNewFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        unlink(path.c_str());
        errno = error;
    }
    return stream;
}

void KeepFile(std::FILE*) {
    // Files stay on Linux; the crash guard removes an unfinished one.
}

void CopyPermissions(const std::string& model, const std::string& path) {
    struct stat st {};
    if (stat(model.c_str(), &st) == 0) {
        chmod(path.c_str(), st.st_mode & 07777);
    }
}

bool IsPathSeparator(char c) {
    return c == '/';
}

long ProcessId() {
    return static_cast<long>(getpid());
}

bool StderrIsTerminal() {
    return isatty(2) != 0;
}

bool StdoutIsTerminal() {
    return isatty(1) != 0;
}

std::FILE* TakeStandardOutput() {
    std::fflush(stdout);
    const int fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr || dup2(2, 1) < 0) {
        stream != nullptr ? std::fclose(stream) : close(fd);
        return nullptr;
    }
    return stream;
}

std::string LastErrorText() {
    return std::strerror(errno);
}

} // namespace VLM
