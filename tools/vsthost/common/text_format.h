// Small text helpers shared by the commands: safe printing of plug-in texts, number
// formatting and parsing.
#pragma once

#include <cstdint>
#include <string>

namespace VLM {

// Replaces control characters so that a text from a plug-in can never break a line.
std::string Printable(const std::string& text);

// Copies a text that a plug-in wrote into a buffer of `size` bytes, stopping at the first
// zero byte or at the end of the buffer, whichever comes first.
std::string FromBuffer(const char* buffer, std::size_t size);

// "'VstP' (0x56737450, 1450406992)"; characters that are not printable appear as '?'.
std::string FourCharText(std::int32_t code);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...)
#if defined(__MINGW32__)
    // The C++ runtime of mingw-w64 formats with its own, standard printf.
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Parses a whole decimal integer; `what` names the value in the error message.
long long ParseInteger(const std::string& text, long long minimum, long long maximum,
                       const std::string& what);

// Parses a whole finite number; `what` names the value in the error message.
double ParseNumber(const std::string& text, const std::string& what);

} // namespace VLM
