// The functions the VST3 module exports to hosts: the factory, and the system's load and unload
// calls (nothing to set up or tear down: every object is made by the factory).
#pragma once

#include "vst3/vst3.h"

#if defined(_WIN32)
#define VLM_VST3_EXPORT __declspec(dllexport)
#else
#define VLM_VST3_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// [any thread] The module's one factory; it lives as long as the module.
VLM_VST3_EXPORT Vst3::IPluginFactory* VLM_VST3CALL GetPluginFactory();
#if defined(_WIN32)
VLM_VST3_EXPORT bool InitDll();
VLM_VST3_EXPORT bool ExitDll();
#else
VLM_VST3_EXPORT bool ModuleEntry(void* sharedLibraryHandle);
VLM_VST3_EXPORT bool ModuleExit();
#endif
}
