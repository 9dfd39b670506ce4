// Text handed to the host: its buffers have documented sizes and must end terminated.
#pragma once

#include "host/aeffect.h"

namespace VLM {

// Writes the terminator into the last byte of the host's buffer for the text of `opcode`, so
// that whatever an effect wrote before, the host reads a text that ends inside its buffer.
inline void TerminateHostText(void* text, VstInt32 opcode) {
    const std::size_t bufferBytes = HostTextCapacity(opcode);
    if (bufferBytes > 0) {
        static_cast<char*>(text)[bufferBytes - 1] = '\0';
    }
}

} // namespace VLM
