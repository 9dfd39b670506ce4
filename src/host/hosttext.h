// Text handed to the host: its buffers have documented sizes and must end terminated.
#pragma once

#include "host/aeffect.h"

namespace VLM {

// Buffer sizes in bytes, terminator included.
constexpr int kParamTextBytes = kVstMaxParamStrLen;
constexpr int kProgramNameBytes = kVstMaxProgNameLen + 1;
constexpr int kEffectNameBytes = kVstMaxEffectNameLen;
constexpr int kVendorTextBytes = kVstMaxVendorStrLen;
constexpr int kProductTextBytes = kVstMaxProductStrLen;

// Writes the terminator into the last byte of a host buffer, so that whatever an effect wrote
// before, the host reads a text that ends inside its buffer.
inline void TerminateHostText(void* text, int bufferBytes) {
    static_cast<char*>(text)[bufferBytes - 1] = '\0';
}

} // namespace VLM
