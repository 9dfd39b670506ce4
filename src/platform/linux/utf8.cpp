// Text on Linux: the 8-bit code page is UTF-8, and every error box is also a message on the
// standard error stream.
#include "platform/linux/errortext.h"
#include "platform/platform.h"

#include <cstdio>
#include <type_traits>

namespace VLM {
namespace Platform {

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kReplacement = U'?';

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void AppendWide(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Wide text to UTF-8. A character that has no UTF-8 form (a lone surrogate, a value beyond
// U+10FFFF) fails the whole conversion, or becomes '?' when `lenient`.
bool EncodeUtf8(const std::wstring& text, bool lenient, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const auto low =
                static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (IsSurrogate(c) || c > kMaxCodePoint) {
            if (!lenient) {
                out.clear();
                return false;
            }
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return true;
}

// One UTF-8 sequence starting at `p`; false for a malformed, overlong or truncated one.
bool DecodeOne(const unsigned char*& p, char32_t& c) {
    const unsigned char lead = *p;
    int extra = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        ++p;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return false;
    }
    ++p;
    for (int k = 0; k < extra; ++k, ++p) {
        // The terminating zero is no continuation byte, so a truncated text stops here.
        if ((*p & 0xC0) != 0x80) {
            return false;
        }
        c = (c << 6) | (*p & 0x3F);
    }
    return c >= minimum && c <= kMaxCodePoint && !IsSurrogate(c);
}

} // namespace

std::wstring AnsiToWide(const char* text) {
    std::wstring wide;
    if (text == nullptr) {
        return wide;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        char32_t c = 0;
        if (!DecodeOne(p, c)) {
            return std::wstring();
        }
        AppendWide(wide, c);
    }
    return wide;
}

std::string WideToAnsi(const std::wstring& text) {
    std::string narrow;
    EncodeUtf8(text, false, narrow);
    return narrow;
}

void WriteErrorToStderr(const std::wstring& text, const std::wstring& caption) {
    std::string title;
    std::string message;
    EncodeUtf8(caption, true, title);
    EncodeUtf8(text, true, message);
    // The message is composed with Windows line ends; a terminal wants bare line feeds.
    std::string lines;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            continue;
        }
        lines.push_back(message[i]);
    }
    std::fprintf(stderr, "[%s]\n%s\n", title.c_str(), lines.c_str());
    std::fflush(stderr);
}

} // namespace Platform
} // namespace VLM
