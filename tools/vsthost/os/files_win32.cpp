#include "os/files.h"

#include "common/errors.h"
#include "os/utf16_win32.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace VLM {

std::FILE* OpenStream(const std::string& path, const char* mode) {
    return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

std::int64_t TellStream(std::FILE* stream) {
    return _ftelli64(stream);
}

int SeekStream(std::FILE* stream, std::int64_t offset, int origin) {
    return _fseeki64(stream, offset, origin);
}

EPathKind PathKind(const std::string& path) {
    // The handle's type tells devices (NUL, CON) and pipes from files, whose attributes a
    // device name may imitate.
    HANDLE h = CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(h);
        CloseHandle(h);
        if (type == FILE_TYPE_CHAR) {
            return EPathKind::Device;
        }
        if (type == FILE_TYPE_PIPE) {
            return EPathKind::Fifo;
        }
    }
    const DWORD a = GetFileAttributesW(Widen(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        return h != INVALID_HANDLE_VALUE ? EPathKind::Other : EPathKind::Missing;
    }
    return (a & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EPathKind::Directory : EPathKind::Regular;
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

std::string FollowLinks(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return path;
    }
    std::wstring target(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, target.data(), static_cast<DWORD>(target.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(h);
    return n > 0 && n < target.size() ? Narrow(target.substr(0, n)) : path;
}

bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

void RemoveFile(const std::string& path) {
    DeleteFileW(Widen(path).c_str());
}

std::FILE* CreateNewFile(const std::string& path) {
    // Delete sharing, so that the crash guard can remove the file while it is still open.
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Deleted when the last handle closes, so even a process that is killed leaves nothing.
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
        const DWORD error = GetLastError();
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(h);
        }
        DeleteFileW(Widen(path).c_str());
        SetLastError(error);
    }
    return stream;
}

void KeepFile(std::FILE* stream) {
    FILE_DISPOSITION_INFO keep{FALSE};
    SetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))),
                               FileDispositionInfo, &keep, sizeof keep);
}

void CopyPermissions(const std::string& model, const std::string& path) {
    // The one permission bit of Windows: a read-only output stays read-only.
    const DWORD a = GetFileAttributesW(Widen(model).c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

bool IsPathSeparator(char c) {
    return c == '/' || c == '\\' || c == ':';
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool StdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

std::FILE* TakeStandardOutput() {
    std::fflush(stdout);
    const int fd = _dup(1);
    if (fd < 0) {
        return nullptr;
    }
    _setmode(fd, _O_BINARY);
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr || _dup2(2, 1) != 0) {
        stream != nullptr ? std::fclose(stream) : _close(fd);
        return nullptr;
    }
    // Plug-ins that write through the system handle rather than the C runtime.
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    return stream;
}

std::string LastErrorText() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    // Texts written for a file name to be put in ("%1 is not a valid application").
    for (std::size_t at = message.find(L"%1"); at != std::wstring::npos; at = message.find(L"%1")) {
        message.replace(at, 2, L"this file");
    }
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message.empty() ? Format("system error %lu", static_cast<unsigned long>(code))
                           : Printable(Narrow(message));
}

} // namespace VLM
