// The system's side of loading a plug-in binary, used by CPlugin.
#pragma once

#include "host/aeffect.h"

#include <string>

namespace VLM::Module {

// Loads the binary at `path`; throws Exceptions::HostFailure naming `path` and the reason.
void* Load(const std::string& path);
// The entry function `name` exported by the module itself (not by a library it uses), or null.
VstPluginMainProc Find(void* module, const char* name);
void Unload(void* module);

// What the first bytes of a file say it is: 64-bit x86 code for Windows or Linux, code for
// another processor or 32 bits, or no program code at all.
enum class EBinary { Unreadable, NotBinary, Windows64, WindowsOther, Linux64, LinuxOther };
EBinary IdentifyBinary(const std::string& path);
// Why a file that `native` cannot be loaded, in a user's words; empty when the file is
// `native` after all (then the system's reason is the one to give).
std::string ForeignBinaryReason(EBinary kind, EBinary native);

} // namespace VLM::Module
