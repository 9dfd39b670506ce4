// The published names of the interface's opcodes, flags and plug-in categories.
#pragma once

#include "host/aeffect.h"

#include <string>

namespace VLM {

// Published name of a dispatcher opcode ("effOpen"), or "opcode N".
const char* EffectOpcodeName(VstInt32 opcode);
// Published name of a host callback opcode ("audioMasterAutomate"), or null.
const char* HostOpcodeName(VstInt32 opcode);
// The flag names set in `flags`, separated by blanks.
std::string FlagNames(VstInt32 flags);
// "effect", "synth", ... for an effGetPlugCategory answer.
std::string CategoryName(VstIntPtr category);

} // namespace VLM
