// Hosting a VST3 module behind the VST 2.4 record the rest of the tool drives: the record's
// entries are translated into the component's, processor's and controller's calls, so that
// every command works on a VST3 plug-in unchanged.
#pragma once

#include "host/aeffect.h"

#include <string>

namespace VLM::Vst3Host {

// Whether `path` names a VST3 plug-in, as a host tells: a bundle folder or a module file
// whose name ends in ".vst3".
bool IsVst3Path(const std::string& path);

// The binary to load for `path`: inside a bundle, the one for this system and processor;
// a module file is its own binary.
std::string ModulePath(const std::string& path);

// Starts the loaded module, makes an instance of its first audio effect class and returns
// a record standing for it; effClose ends the instance and the module's use. Throws
// Exceptions::HostFailure saying what the module lacks or refused. [UI thread]
AEffect* CreateEffect(void* module, audioMasterCallback host);

} // namespace VLM::Vst3Host
