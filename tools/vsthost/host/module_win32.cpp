#include "host/module.h"

#include "common/errors.h"
#include "os/crashguard.h"
#include "os/files.h"
#include "os/utf16_win32.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace VLM::Module {
namespace {

// A plug-in ending the process from inside a call is reported and leaves no unfinished
// output: its imports of the process-ending functions are pointed at these, which hand over
// to the originals for any other caller. (Functions the plug-in finds by other means, or
// that libraries it loads call, are seen by the crash guard's atexit handler at most.)
using ExitFunction = void(__cdecl*)(int);
using ExitProcessFunction = void(WINAPI*)(UINT);
ExitFunction gExit = nullptr;
ExitFunction gQuickExit = nullptr;
ExitProcessFunction gExitProcess = nullptr;

void Report(const char* name, long long status) {
    char how[64];
    std::snprintf(how, sizeof how, "%s(%lld)", name, status);
    CrashGuard::OnProcessEnd(how);
}

void __cdecl OnExit(int status) {
    Report("exit", status);
    gExit(status);
}

void __cdecl OnQuickExit(int status) {
    Report("_exit", status);
    gQuickExit(status);
}

void WINAPI OnExitProcess(UINT status) {
    Report("ExitProcess", status);
    gExitProcess(status);
}

void WriteEntry(std::uintptr_t* entry, std::uintptr_t value) {
    DWORD old = 0;
    if (VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old)) {
        *entry = value;
        VirtualProtect(entry, sizeof *entry, old, &old);
    }
}

template <typename Function>
void Redirect(std::uintptr_t* entry, Function& original, Function replacement) {
    if (original == nullptr) {
        original = reinterpret_cast<Function>(*entry);
    }
    if (reinterpret_cast<Function>(*entry) == original) {
        WriteEntry(entry, reinterpret_cast<std::uintptr_t>(replacement));
    }
}

void WatchProcessEnd(HMODULE module) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        return;
    }
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) {
        return;
    }
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name != 0; ++d) {
        if (d->FirstThunk == 0 || d->OriginalFirstThunk == 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + d->OriginalFirstThunk);
        auto* entries = reinterpret_cast<std::uintptr_t*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) {
                continue;
            }
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                    ->Name);
            if (std::strcmp(name, "exit") == 0) {
                Redirect(entries, gExit, OnExit);
            } else if (std::strcmp(name, "_exit") == 0 || std::strcmp(name, "_Exit") == 0) {
                Redirect(entries, gQuickExit, OnQuickExit);
            } else if (std::strcmp(name, "ExitProcess") == 0) {
                Redirect(entries, gExitProcess, OnExitProcess);
            }
        }
    }
}

} // namespace

void* Load(const std::string& path) {
    const std::string quoted = "'" + Printable(path) + "'";
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw Exceptions::HostFailure("cannot open plug-in " + quoted + ": no such file");
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw Exceptions::HostFailure("cannot load plug-in " + quoted + ": it is a directory");
    }
    std::wstring full(32768, L'\0');
    const DWORD n =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(n > 0 && n < full.size() ? n : 0);
    HMODULE handle = nullptr;
    {
        CCallGuard guard("loading the library");
        // Altered search path: libraries next to the plug-in are found before others.
        handle = LoadLibraryExW(full.empty() ? wide.c_str() : full.c_str(), nullptr,
                                LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (handle == nullptr) {
        const std::string reason = LastErrorText();
        const std::string foreign = ForeignBinaryReason(IdentifyBinary(path), EBinary::Windows64);
        throw Exceptions::HostFailure("cannot load plug-in " + quoted + ": " +
                                      (foreign.empty() ? reason : foreign));
    }
    WatchProcessEnd(handle);
    return handle;
}

VstPluginMainProc Find(void* module, const char* name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(module), name);
    return reinterpret_cast<VstPluginMainProc>(reinterpret_cast<void*>(proc));
}

void Unload(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace VLM::Module
