// Images on Linux: PNG decoding with libpng into plain 32-bit bitmaps held in memory.
#include "platform/platform.h"

#include <png.h>

#include <cstring>
#include <memory>
#include <new>

namespace VLM {
namespace Platform {

namespace {

// The statuses that the portable code reports, numbered as the image library on Windows
// numbers them.
constexpr std::int32_t kOk = 0;
constexpr std::int32_t kInvalidParameter = 2;
constexpr std::int32_t kOutOfMemory = 3;
constexpr std::int32_t kUnknownImageFormat = 13;

// A file may claim any size; nothing larger than this is allocated for it.
constexpr std::uint32_t kMaxSide = 32768;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;

// Rows of BGRA bytes with straight alpha, top row first, no padding.
struct MemoryBitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::unique_ptr<std::uint8_t[]> pixels;
};

MemoryBitmap* ToBitmap(BitmapHandle bitmap) {
    return static_cast<MemoryBitmap*>(bitmap);
}

bool SizeAllowed(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

// A new bitmap of an allowed size, or null when memory runs out. Its pixels are zeroed unless
// the caller is about to write every one of them.
MemoryBitmap* NewBitmap(std::int32_t width, std::int32_t height, bool zeroed) {
    auto* bitmap = new (std::nothrow) MemoryBitmap;
    if (bitmap == nullptr) {
        return nullptr;
    }
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    bitmap->pixels.reset(zeroed ? new (std::nothrow) std::uint8_t[bytes]()
                                : new (std::nothrow) std::uint8_t[bytes]);
    if (bitmap->pixels == nullptr) {
        delete bitmap;
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    return bitmap;
}

} // namespace

std::int32_t ImageLibraryStartup(std::uintptr_t& token) {
    // libpng needs no start-up.
    token = 1;
    return kOk;
}

void ImageLibraryShutdown(std::uintptr_t) {}

Bitmap DecodeImage(const std::uint8_t* bytes, std::size_t size) {
    Bitmap result;
    if (bytes == nullptr || size == 0) {
        result.status = kInvalidParameter;
        return result;
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    // libpng reports its own errors through the image record, never by unwinding this frame.
    if (png_image_begin_read_from_memory(&image, bytes, size) == 0) {
        result.status = kUnknownImageFormat;
        return result;
    }
    if (!SizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        result.status = kOutOfMemory;
        return result;
    }
    // The decoder writes every pixel.
    MemoryBitmap* bitmap = NewBitmap(static_cast<std::int32_t>(image.width),
                                     static_cast<std::int32_t>(image.height), false);
    if (bitmap == nullptr) {
        png_image_free(&image);
        result.status = kOutOfMemory;
        return result;
    }
    // 8-bit output keeps straight alpha; every colour type and depth is converted to it.
    image.format = PNG_FORMAT_BGRA;
    if (png_image_finish_read(&image, nullptr, bitmap->pixels.get(),
                              static_cast<png_int_32>(image.width * 4), nullptr) == 0) {
        png_image_free(&image);
        delete bitmap;
        result.status = kUnknownImageFormat;
        return result;
    }
    result.handle = bitmap;
    return result;
}

Bitmap CreateBitmap(std::int32_t width, std::int32_t height) {
    Bitmap result;
    if (width <= 0 || height <= 0) {
        result.status = kInvalidParameter;
        return result;
    }
    if (!SizeAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        result.status = kOutOfMemory;
        return result;
    }
    result.handle = NewBitmap(width, height, true);
    if (result.handle == nullptr) {
        result.status = kOutOfMemory;
    }
    return result;
}

std::int32_t BitmapWidth(BitmapHandle bitmap) {
    return bitmap == nullptr ? 0 : ToBitmap(bitmap)->width;
}

std::int32_t BitmapHeight(BitmapHandle bitmap) {
    return bitmap == nullptr ? 0 : ToBitmap(bitmap)->height;
}

bool LockPixels(BitmapHandle bitmap, PixelRows& rows) {
    if (bitmap == nullptr) {
        return false;
    }
    MemoryBitmap* memory = ToBitmap(bitmap);
    rows.scan0 = memory->pixels.get();
    rows.width = memory->width;
    rows.height = memory->height;
    rows.stride = memory->width * 4;
    rows.lock = 1;
    return true;
}

void UnlockPixels(BitmapHandle, PixelRows& rows) {
    rows.lock = 0;
    rows.scan0 = nullptr;
}

void DisposeBitmap(BitmapHandle bitmap) {
    delete ToBitmap(bitmap);
}

} // namespace Platform
} // namespace VLM
