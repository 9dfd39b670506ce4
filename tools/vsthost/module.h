// The system's side of loading a plug-in binary, used by CPlugin.
#pragma once

#include "host/aeffect.h"

#include <string>

namespace VLM::Module {

/// Loads the binary at `path`; throws Exceptions::HostFailure naming `path` and the reason.
void* Load(const std::string& path);
/// The entry function `name` exported by the module itself (not by a library it uses), or null.
VstPluginMainProc Find(void* module, const char* name);
void Unload(void* module);

} // namespace VLM::Module
