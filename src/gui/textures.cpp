#include "gui/textures.h"

#include "gui/exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace VLM {

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

FilmstripLayout ParseFilmstripName(const std::wstring& name) {
    FilmstripLayout layout;
    const std::size_t open = name.rfind(L'[');
    if (open == std::wstring::npos) {
        return layout;
    }
    layout.hasSuffix = true;
    // The closing bracket is taken to be the name's last character.
    const std::size_t last = name.size() - 1;
    auto between = [&](std::size_t from) {
        return from < last ? name.substr(from, last - from) : std::wstring();
    };
    layout.frameCount = ReadInteger(between(open + 1));
    const std::size_t separator = name.find(L'x', open);
    if (separator != std::wstring::npos) {
        layout.columnCount = ReadInteger(between(separator + 1));
    }
    if (layout.frameCount < 1) {
        layout.frameCount = 1;
    }
    if (layout.columnCount < 1) {
        layout.columnCount = 1;
    }
    return layout;
}

std::int32_t TextureSide(std::int32_t size) {
    for (int k = 1; k < 19; ++k) {
        const auto side = static_cast<std::int32_t>(std::pow(2.0, k));
        if (side >= size) {
            return side;
        }
    }
    return 524288;
}

std::optional<std::vector<std::uint8_t>> OpenResourceStream(const std::wstring& name,
                                                            const std::wstring& type) {
    if (name.empty() || type.empty()) {
        return std::nullopt;
    }
    std::wstring lower = name;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    std::vector<std::uint8_t> bytes;
    const Platform::ModuleHandle module = Platform::ModuleInstance();
    if (module == nullptr || !Platform::ReadResource(module, lower, type, bytes) || bytes.empty()) {
        throw Exceptions::ResourceError(name, type);
    }
    return bytes;
}

void CheckImage(const Platform::Bitmap& bitmap, const std::wstring& name) {
    const std::int32_t status = bitmap.status;
    if (status != 0) {
        throw Exceptions::GDIPImage(name, Platform::BitmapWidth(bitmap.handle),
                                    Platform::BitmapHeight(bitmap.handle), status);
    }
}

const void* TightRows(const Platform::PixelRows& rows, std::int32_t width, std::int32_t height,
                      std::vector<std::uint8_t>& store) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (rows.stride == static_cast<std::int32_t>(rowBytes) && rows.height >= height) {
        return rows.scan0;
    }
    store.assign(rowBytes * static_cast<std::size_t>(height), 0);
    const std::size_t copyBytes = std::min(rowBytes, static_cast<std::size_t>(rows.width) * 4);
    for (std::int32_t i = 0; i < height && i < rows.height; ++i) {
        std::memcpy(store.data() + rowBytes * static_cast<std::size_t>(i),
                    rows.scan0 + static_cast<std::ptrdiff_t>(i) * rows.stride, copyBytes);
    }
    return store.data();
}

CPixelLock::CPixelLock(Platform::BitmapHandle locking) : bitmap(locking) {
    locked = bitmap != nullptr && Platform::LockPixels(bitmap, rows);
}

CPixelLock::~CPixelLock() {
    if (locked) {
        Platform::UnlockPixels(bitmap, rows);
    }
}

} // namespace VLM
