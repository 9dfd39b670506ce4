// The editor's two number readers: the integer of a filmstrip suffix and the number typed into
// the text entry. Both take leading white space and one sign as the C library's readers do.
#pragma once

#include <cstdint>
#include <string>

namespace VLM {

// Reads an integer the way _wtoi does: leading white space, an optional sign, then decimal
// digits up to the first other character; no digits give 0. Saturates at the int32 range.
std::int32_t ReadInteger(const std::wstring& text);

// Reads a number as _wtof does (leading white space, optional sign, digits with an optional
// fraction and exponent, up to the first character that cannot continue it; none gives 0),
// always with a full stop as the decimal separator.
double ParseNumber(const std::wstring& text);

} // namespace VLM
