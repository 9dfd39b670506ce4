// Image resources, the power-of-two texture layout and the filmstrip name rule.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace VLM {

// One image of the editor's texture cache.
struct TextureEntry {
    std::uint32_t texture = 0; // GL texture name; 0 = not loaded
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    float uExtent = 1.0f; // image width / texture width
    float vExtent = 1.0f; // image height / texture height
    std::int32_t refCount = 0;
};

// The frame layout a filmstrip name announces. Counts below 1 are taken as 1, so that a
// malformed suffix can never divide by zero.
struct FilmstripLayout {
    bool hasSuffix = false;
    std::int32_t frameCount = 1;
    std::int32_t columnCount = 1;
};

// "FADER01[64x18]" -> 64 frames in 18 columns; "Button[2]" -> 2 frames in one column. Only a
// lower-case x separates the column count.
FilmstripLayout ParseFilmstripName(const std::wstring& name);

// Leading white space and one optional sign, as the C library's number readers take them;
// the index of the first character after them.
std::size_t SkipSpaceAndSign(const std::wstring& text, bool& negative);
// Reads an integer the way _wtoi does: leading white space, an optional sign, then decimal
// digits up to the first other character; no digits give 0. Saturates at the int32 range.
std::int32_t ReadInteger(const std::wstring& text);

// The smallest power of two from 2 up to 2^19 that is not smaller than size (2^19 when
// none is).
std::int32_t TextureSide(std::int32_t size);

// The bytes of an image resource, found by its lower-cased name. No stream for an empty name
// or type; a missing or unreadable resource throws the RESOURCE error quoting `name` as given.
std::optional<std::vector<std::uint8_t>> OpenResourceStream(const std::wstring& name,
                                                            const std::wstring& type);

// Throws GDIPImage for `name` when the bitmap's creation reported a failure.
void CheckImage(const Platform::Bitmap& bitmap, const std::wstring& name);

// The first `height` rows of `width` pixels of locked bitmap rows, tightly packed as the GL
// upload reads them: the rows themselves when the bitmap pads nothing, else a copy in `store`.
const void* TightRows(const Platform::PixelRows& rows, std::int32_t width, std::int32_t height,
                      std::vector<std::uint8_t>& store);

// Owns a platform bitmap for the length of a scope.
class CBitmap {
public:
    explicit CBitmap(const Platform::Bitmap& created) : bitmap(created) {}
    ~CBitmap() { Platform::DisposeBitmap(bitmap.handle); }
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    const Platform::Bitmap& Get() const { return bitmap; }
    Platform::BitmapHandle Handle() const { return bitmap.handle; }

private:
    Platform::Bitmap bitmap;
};

// Keeps a bitmap's pixels locked for the length of a scope.
class CPixelLock {
public:
    explicit CPixelLock(Platform::BitmapHandle bitmap);
    ~CPixelLock();
    CPixelLock(const CPixelLock&) = delete;
    CPixelLock& operator=(const CPixelLock&) = delete;
    bool Locked() const { return locked; }
    const Platform::PixelRows& Rows() const { return rows; }

private:
    Platform::BitmapHandle bitmap;
    Platform::PixelRows rows;
    bool locked = false;
};

} // namespace VLM
