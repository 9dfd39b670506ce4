// The plug-in library's own module, its resources, the message box and the code page.
#include "platform/win32/win32.h"

#include <cstring>

namespace VLM {
namespace Platform {

ModuleHandle ModuleInstance() {
    // The library is loaded by a host program, so GetModuleHandle(NULL) would name the host;
    // the module that holds this very function is ours.
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&ModuleInstance), &module)) {
        return nullptr;
    }
    return module;
}

bool ReadResource(ModuleHandle module, const std::wstring& name, const std::wstring& type,
                  std::vector<std::uint8_t>& bytes) {
    if (module == nullptr || name.empty() || type.empty()) {
        return false;
    }
    const HMODULE instance = ToHinstance(module);
    HRSRC resource = FindResourceW(instance, name.c_str(), type.c_str());
    if (resource == nullptr) {
        return false;
    }
    const DWORD size = SizeofResource(instance, resource);
    if (size == 0) {
        return false;
    }
    HGLOBAL loaded = LoadResource(instance, resource);
    if (loaded == nullptr) {
        return false;
    }
    const void* data = LockResource(loaded);
    if (data == nullptr) {
        return false;
    }
    bytes.resize(size);
    std::memcpy(bytes.data(), data, size);
    return true;
}

std::size_t ResourceSize(ModuleHandle module, const std::wstring& name, const std::wstring& type) {
    if (module == nullptr || name.empty() || type.empty()) {
        return 0;
    }
    const HMODULE instance = ToHinstance(module);
    HRSRC resource = FindResourceW(instance, name.c_str(), type.c_str());
    return resource != nullptr ? SizeofResource(instance, resource) : 0;
}

void ShowErrorBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption) {
    MessageBoxW(ToHwnd(owner), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

std::wstring AnsiToWide(const char* text) {
    if (text == nullptr || *text == 0) {
        return std::wstring();
    }
    const int length = static_cast<int>(std::strlen(text));
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (needed <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), needed) != needed) {
        return std::wstring();
    }
    return wide;
}

std::string WideToAnsi(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), needed, nullptr,
                            nullptr) != needed) {
        return std::string();
    }
    return narrow;
}

} // namespace Platform
} // namespace VLM
