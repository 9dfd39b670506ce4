// CLAP plug-ins behind the effect record the rest of the tool drives: the tool is the CLAP host,
// and a VST 2.4-style record translates its calls (dispatcher, parameters, processReplacing,
// chunks, editor) into the plug-in's, and the plug-in's requests back into host callbacks.
#pragma once

#include "host/aeffect.h"

#include <string>

namespace VLM::ClapHost {

// True when `path` names a CLAP plug-in: its name ends in ".clap" (any case).
bool IsClapPath(const std::string& path);

// Makes the first plug-in of the CLAP binary loaded as `module` and answers a record that
// drives it; `callback` hears its parameter edits and resize requests. effClose destroys the
// plug-in and the record. Throws Exceptions::HostFailure when the binary is no usable CLAP
// plug-in. [UI thread]
AEffect* Open(void* module, const std::string& path, audioMasterCallback callback);

} // namespace VLM::ClapHost
