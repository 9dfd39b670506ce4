#include "common/text_format.h"

#include "common/errors.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace VLM {

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
    }
    return out;
}

std::string FromBuffer(const char* buffer, std::size_t size) {
    std::size_t n = 0;
    while (n < size && buffer[n] != '\0') {
        ++n;
    }
    return std::string(buffer, n);
}

std::string FourCharText(std::int32_t code) {
    const auto u = static_cast<std::uint32_t>(code);
    std::string chars;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((u >> shift) & 0xFFu);
        chars.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return Format("'%s' (0x%08X, %d)", chars.c_str(), u, code);
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<std::size_t>(needed));
    }
    va_end(args);
    return out;
}

long long ParseInteger(const std::string& text, long long minimum, long long maximum,
                       const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const long long value = text.empty() ? 0 : std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE) {
        throw Exceptions::Usage(what + " must be a whole number, not '" + Printable(text) + "'");
    }
    if (value < minimum || value > maximum) {
        throw Exceptions::Usage(Format("%s must be from %lld to %lld, not %lld", what.c_str(),
                                       minimum, maximum, value));
    }
    return value;
}

double ParseNumber(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE ||
        !std::isfinite(value)) {
        throw Exceptions::Usage(what + " must be a number, not '" + Printable(text) + "'");
    }
    return value;
}

} // namespace VLM
