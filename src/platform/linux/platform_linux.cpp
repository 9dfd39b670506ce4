// The Linux plug-in's module, its compiled-in resources and the clock.
#include "platform/platform.h"

#include "resources/embedded.h"

#include <time.h>

namespace VLM {
namespace Platform {

namespace {

// Stands for the plug-in library: the compiled-in table belongs to it.
char moduleToken = 0;

wchar_t FoldCase(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Resource names compare without regard to the case of the letters A to Z, as on Windows.
bool SameName(const std::wstring& wanted, const char* stored) {
    std::size_t i = 0;
    for (; i < wanted.size(); ++i) {
        const auto c = static_cast<unsigned char>(stored[i]);
        if (c == 0 || FoldCase(wanted[i]) != FoldCase(static_cast<wchar_t>(c))) {
            return false;
        }
    }
    return stored[i] == 0;
}

// The compiled-in resource of that name and type, or null.
const EmbeddedResource* FindResource(ModuleHandle module, const std::wstring& name,
                                     const std::wstring& type) {
    if (module == nullptr || name.empty() || type.empty()) {
        return nullptr;
    }
    for (std::size_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& resource = kEmbeddedResources[i];
        if (SameName(name, resource.name) && SameName(type, resource.type)) {
            return resource.data != nullptr ? &resource : nullptr;
        }
    }
    return nullptr;
}

} // namespace

ModuleHandle ModuleInstance() {
    return &moduleToken;
}

bool ReadResource(ModuleHandle module, const std::wstring& name, const std::wstring& type,
                  std::vector<std::uint8_t>& bytes) {
    const EmbeddedResource* resource = FindResource(module, name, type);
    if (resource == nullptr || resource->size == 0) {
        return false;
    }
    bytes.assign(resource->data, resource->data + resource->size);
    return true;
}

std::size_t ResourceSize(ModuleHandle module, const std::wstring& name, const std::wstring& type) {
    const EmbeddedResource* resource = FindResource(module, name, type);
    return resource != nullptr ? resource->size : 0;
}

std::uint64_t MonotonicMilliseconds() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

} // namespace Platform
} // namespace VLM
