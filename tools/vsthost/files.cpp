#include "files.h"

#include "errors.h"
#include "text.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace VLM {

#if defined(_WIN32)

std::FILE* OpenStream(const std::string& path, const char* mode) {
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    auto identify = [](const std::string& p, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE h =
            CreateFileW(Widen(p).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        return ok != 0;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!identify(a, ia) || !identify(b, ib)) {
        return false;
    }
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

void MoveOver(const std::string& from, const std::string& to) {
    if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        throw Exceptions::HostFailure(Format("cannot write '%s' (error %lu)", Printable(to).c_str(),
                                             static_cast<unsigned long>(GetLastError())));
    }
}

void RemoveFile(const std::string& path) {
    DeleteFileW(Widen(path).c_str());
}

std::string TemporaryNameFor(const std::string& path) {
    return path + Format(".vsthost-%lu.tmp", static_cast<unsigned long>(GetCurrentProcessId()));
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

#else

std::FILE* OpenStream(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void MoveOver(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        throw Exceptions::HostFailure("cannot write '" + Printable(to) +
                                      "': " + std::strerror(errno));
    }
}

void RemoveFile(const std::string& path) {
    std::remove(path.c_str());
}

std::string TemporaryNameFor(const std::string& path) {
    return path + Format(".vsthost-%ld.tmp", static_cast<long>(getpid()));
}

bool StderrIsTerminal() {
    return isatty(2) != 0;
}

#endif

} // namespace VLM
