// The effect's state bytes as a plug-in format carries them: the list of (control id, value)
// records the effect's chunk holds. The effect itself takes any records it is given; a format
// checks the whole block first, so that damaged or foreign state changes nothing.
#pragma once

#include <cstddef>

namespace VLM {
namespace State {

// True when `bytes` is a whole block of the effect's records: at least one, none cut short, no
// more than the effect writes, every id one of the effect's controls (or -1, a control without
// a parameter), every value finite.
bool IsEffectState(const void* bytes, std::size_t size);

} // namespace State
} // namespace VLM
