#include "gui/numbers.h"

#include <charconv>
#include <limits>

namespace VLM {
namespace {

// Leading white space and one optional sign, as the C library's number readers take them;
// the index of the first character after them.
std::size_t SkipSpaceAndSign(const std::wstring& text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    return i;
}

} // namespace

std::int32_t ReadInteger(const std::wstring& text) {
    bool negative = false;
    std::size_t i = SkipSpaceAndSign(text, negative);
    std::int64_t magnitude = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > limit) {
            magnitude = limit;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

double ParseNumber(const std::wstring& text) {
    bool negative = false;
    std::size_t i = SkipSpaceAndSign(text, negative);
    // from_chars reads the C locale's form whatever the host's locale is; it sees only the
    // ASCII part of the text.
    std::string narrow;
    for (; i < text.size() && text[i] > 0 && text[i] < 0x80; ++i) {
        narrow.push_back(static_cast<char>(text[i]));
    }
    if (narrow.empty() || narrow[0] == '+' || narrow[0] == '-') {
        return 0.0;
    }
    double value = 0.0;
    const auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

} // namespace VLM
