// The functions the library exports to hosts.
#pragma once

#include "host/aeffect.h"

#if defined(_WIN32)
#define VLM_EXPORT __declspec(dllexport)
#else
#define VLM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// [any thread] Creates one instance; its record, or null.
VLM_EXPORT AEffect* VLM_VSTCALL VSTPluginMain(audioMasterCallback audioMaster);
// [any thread] This library offers no plug-in factory: always null.
VLM_EXPORT void* GetPluginFactory();
}
