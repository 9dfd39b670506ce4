#include "formats/vst3/vst3strings.h"

#include "formats/shared/utf8.h"

#include <cstdint>

namespace VLM {

void CopyUtf16(Vst3::char16* out, const char* text, std::size_t capacity) {
    if (out == nullptr || capacity == 0) {
        return;
    }
    std::size_t n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*p != 0) {
        std::uint32_t c = *p;
        int more = 0;
        if (c >= 0xF0) {
            c &= 0x07;
            more = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            more = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            more = 1;
        } else if (c >= 0x80) {
            c = 0xFFFD; // a stray continuation byte
        }
        ++p;
        for (; more > 0 && (*p & 0xC0) == 0x80; --more, ++p) {
            c = (c << 6) | (*p & 0x3F);
        }
        if (more > 0) {
            c = 0xFFFD; // cut short
        }
        const std::size_t units = c >= 0x10000 ? 2 : 1;
        if (n + units >= capacity) {
            break;
        }
        if (units == 2) {
            c -= 0x10000;
            out[n++] = static_cast<Vst3::char16>(0xD800 | (c >> 10));
            out[n++] = static_cast<Vst3::char16>(0xDC00 | (c & 0x3FF));
        } else {
            out[n++] = static_cast<Vst3::char16>(c);
        }
    }
    out[n] = 0;
}

std::string Utf8Of(const Vst3::char16* text, std::size_t capacity) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < capacity && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace VLM
