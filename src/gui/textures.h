// The editor's texture cache, image resources, the power-of-two texture layout and the
// filmstrip name rule.
#pragma once

#include "gui/decodeahead.h"
#include "platform/platform.h"

#include <cstdint>
#include <map>
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

// The editor's textures, counted by image name: each name counts its acquisitions, and names
// whose images have the same bytes share one decode and one texture, deleted when the last of
// them is released. They belong to the editor's GL context: each operation needs it current and
// is told which one it is, and a texture is deleted only while that context is current.
// [UI thread] (editor open)
class CTextureCache {
public:
    // Loads the image on its name's first acquisition, unless an image of the same bytes is
    // loaded already, whose texture it then shares; later acquisitions only count. Gives its
    // size in layout pixels and the part of the texture it covers. Above a drawing scale of 1
    // the image's twin at twice the resolution is loaded instead (see ImageNameAtDensity),
    // under its own name; GL's linear filtering brings it down to factors between 1 and 2. 0
    // for an empty name. Throws Exceptions::Std when loading fails, leaving nothing behind.
    std::uint32_t Acquire(const std::wstring& name, std::int32_t& imageWidth,
                          std::int32_t& imageHeight, float& uExtent, float& vExtent,
                          Platform::GLContextHandle context, float scale);
    // Gives one acquisition of the texture back, counted against the first name (in key order)
    // holding it; a name's last release forgets the name, and the texture is deleted when no
    // name holds it any more. Unknown textures do nothing.
    void Release(std::uint32_t texture, Platform::GLContextHandle context);
    // Starts decoding, on a worker thread, the images these names will acquire at a drawing
    // scale, so that their acquisitions find them decoded. Never fails: what cannot be done
    // ahead is done, or reported, at the acquisition.
    void DecodeAhead(const std::vector<std::wstring>& names, float scale);
    // Deletes every texture left, whether still acquired or not, and drops the images decoded
    // ahead and not acquired.
    void Clear(Platform::GLContextHandle context);
    const std::map<std::wstring, TextureEntry>& Entries() const { return entries; }

    // Deletes a GL texture, but only while `context` is the current one.
    static void Delete(std::uint32_t texture, Platform::GLContextHandle context);

private:
    // One decoded and uploaded picture, keyed by its encoded bytes; `names` counts the names
    // that share it. Its pixels live in the texture only.
    struct Picture {
        TextureEntry layout; // texture, sizes and extents; its refCount is unused
        std::int32_t names = 0;
    };

    // Uploads a decoded image, which it disposes of; throws, leaving no texture, when the
    // decoding or the upload failed.
    TextureEntry Load(const Platform::Bitmap& decoded, const std::wstring& resource,
                      std::int32_t density, Platform::GLContextHandle context);
    // Whether the context takes textures of any size; asked once per context.
    bool TakesAnySize(Platform::GLContextHandle context);

    std::map<std::wstring, TextureEntry> entries;
    std::map<std::vector<std::uint8_t>, Picture> pictures;
    CDecodeAhead ahead;
    Platform::GLContextHandle askedContext = nullptr;
    bool anySize = false;
};

// Whether an OpenGL of this version string and extension list takes textures whose sides are
// not powers of two: from version 2.0 on, or with GL_ARB_texture_non_power_of_two. Null texts
// (no current context) take nothing.
bool OffersAnyTextureSize(const char* version, const char* extensions);

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

// Image pixels per layout pixel of the artwork loaded at a drawing scale: 1 at 1, else 2.
std::int32_t ImageDensity(float scale);
// The resource name of an image at a density: the name itself at 1, else "@2x" before the
// filmstrip bracket, which the artwork generator names the twins by ("FADER01[64x18]" ->
// "FADER01@2x[64x18]", "ZEM" -> "ZEM@2x"); the frame layout reads as the 1x name's.
std::wstring ImageNameAtDensity(const std::wstring& name, std::int32_t density);

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
