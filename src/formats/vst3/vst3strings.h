// Text between the effect's UTF-8 and the interface's UTF-16 buffers.
#pragma once

#include "vst3/vst3.h"

#include <cstddef>
#include <string>

namespace VLM {

// The text a String128 holds, with the terminator.
constexpr std::size_t kString128 = 128;

// Copies UTF-8 `text` into `out` as UTF-16, cut at whole characters to fit `capacity` units
// with the terminator.
void CopyUtf16(Vst3::char16* out, const char* text, std::size_t capacity = kString128);
// The UTF-8 form of a terminated UTF-16 text of at most `capacity` units.
std::string Utf8Of(const Vst3::char16* text, std::size_t capacity = kString128);

} // namespace VLM
