// A library that links the Windows backend, so that a test program can load it the way a host
// loads the plug-in and see which module the backend takes for its own.
#include "platform/platform.h"

extern "C" __declspec(dllexport) void* ProbeModuleInstance() {
    return VLM::Platform::ModuleInstance();
}

// The size of an image that only this library holds, read through the backend; -1 if missing.
extern "C" __declspec(dllexport) int ProbeReadOwnImage() {
    std::vector<std::uint8_t> bytes;
    if (!VLM::Platform::ReadResource(VLM::Platform::ModuleInstance(), L"libraryonly", L"IMG",
                                     bytes)) {
        return -1;
    }
    return static_cast<int>(bytes.size());
}
