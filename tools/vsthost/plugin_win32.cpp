#include "module.h"

#include "crashguard.h"
#include "errors.h"
#include "files.h"
#include "text_win32.h"

#include <windows.h>

namespace VLM::Module {

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
        throw Exceptions::HostFailure("cannot load plug-in " + quoted +
                                      ": not a loadable library (" + LastErrorText() + ")");
    }
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
