// Images and text through GDI+: PNG decoding, bitmaps and their pixels, and the read-out's
// text measured and drawn in Tahoma.
#include "platform/win32/gdiplusflat.h"

#include <cstring>

namespace VLM {
namespace Platform {

namespace {

Gdip::Bitmap* ToBitmap(BitmapHandle bitmap) {
    return static_cast<Gdip::Bitmap*>(bitmap);
}

// The read-out's font, for the length of one measuring or drawing.
class CReadoutFont {
public:
    explicit CReadoutFont(float scale) {
        if (Gdip::GdipCreateFontFamilyFromName(L"Tahoma", nullptr, &family) == Gdip::kOk) {
            Gdip::GdipCreateFont(family, 10.0f * scale, Gdip::kFontStyleRegular, Gdip::kUnitPoint,
                                 &font);
        }
    }
    ~CReadoutFont() {
        if (font != nullptr) {
            Gdip::GdipDeleteFont(font);
        }
        if (family != nullptr) {
            Gdip::GdipDeleteFontFamily(family);
        }
    }
    CReadoutFont(const CReadoutFont&) = delete;
    CReadoutFont& operator=(const CReadoutFont&) = delete;
    const Gdip::Font* Get() const { return font; }

private:
    Gdip::FontFamily* family = nullptr;
    Gdip::Font* font = nullptr;
};

// The stream owns its own copy of the bytes in movable global memory, as GDI+ may read it
// again for as long as the bitmap lives.
IStream* StreamOverCopy(const std::uint8_t* bytes, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) {
        return nullptr;
    }
    void* target = GlobalLock(memory);
    if (target == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream)) || stream == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    return stream;
}

} // namespace

std::int32_t ImageLibraryStartup(std::uintptr_t& token) {
    const Gdip::StartupInput input{1, nullptr, FALSE, FALSE};
    ULONG_PTR started = 0;
    const Gdip::Status status = Gdip::GdiplusStartup(&started, &input, nullptr);
    token = started;
    return status;
}

void ImageLibraryShutdown(std::uintptr_t token) {
    Gdip::GdiplusShutdown(token);
}

Bitmap DecodeImage(const std::uint8_t* bytes, std::size_t size) {
    Bitmap result;
    if (bytes == nullptr || size == 0) {
        result.status = Gdip::kInvalidParameter;
        return result;
    }
    IStream* stream = StreamOverCopy(bytes, size);
    if (stream == nullptr) {
        result.status = Gdip::kOutOfMemory;
        return result;
    }
    Gdip::Bitmap* bitmap = nullptr;
    result.status = Gdip::GdipCreateBitmapFromStream(stream, &bitmap);
    result.handle = bitmap;
    // The bitmap holds a reference of its own to the stream.
    stream->Release();
    return result;
}

Bitmap CreateBitmap(std::int32_t width, std::int32_t height) {
    Gdip::Bitmap* bitmap = nullptr;
    Bitmap result;
    result.status = Gdip::GdipCreateBitmapFromScan0(width, height, 0, Gdip::kPixelFormat32bppARGB,
                                                    nullptr, &bitmap);
    result.handle = bitmap;
    return result;
}

std::int32_t BitmapWidth(BitmapHandle bitmap) {
    UINT width = 0;
    if (bitmap == nullptr || Gdip::GdipGetImageWidth(ToBitmap(bitmap), &width) != Gdip::kOk) {
        return 0;
    }
    return static_cast<std::int32_t>(width);
}

std::int32_t BitmapHeight(BitmapHandle bitmap) {
    UINT height = 0;
    if (bitmap == nullptr || Gdip::GdipGetImageHeight(ToBitmap(bitmap), &height) != Gdip::kOk) {
        return 0;
    }
    return static_cast<std::int32_t>(height);
}

bool LockPixels(BitmapHandle bitmap, PixelRows& rows) {
    if (bitmap == nullptr) {
        return false;
    }
    // GDI+ wants the very record of the lock back at the unlock.
    auto* data = new Gdip::BitmapData{};
    const Gdip::Status status = Gdip::GdipBitmapLockBits(
        ToBitmap(bitmap), nullptr, Gdip::kImageLockModeRead | Gdip::kImageLockModeWrite,
        Gdip::kPixelFormat32bppARGB, data);
    if (status != Gdip::kOk || data->Scan0 == nullptr) {
        delete data;
        return false;
    }
    rows.scan0 = static_cast<std::uint8_t*>(data->Scan0);
    rows.width = static_cast<std::int32_t>(data->Width);
    rows.height = static_cast<std::int32_t>(data->Height);
    rows.stride = data->Stride;
    rows.lock = reinterpret_cast<std::uintptr_t>(data);
    return true;
}

void UnlockPixels(BitmapHandle bitmap, PixelRows& rows) {
    auto* data = reinterpret_cast<Gdip::BitmapData*>(rows.lock);
    if (data == nullptr) {
        return;
    }
    if (bitmap != nullptr) {
        Gdip::GdipBitmapUnlockBits(ToBitmap(bitmap), data);
    }
    delete data;
    rows.lock = 0;
    rows.scan0 = nullptr;
}

void DisposeBitmap(BitmapHandle bitmap) {
    if (bitmap != nullptr) {
        Gdip::GdipDisposeImage(ToBitmap(bitmap));
    }
}

TextBox MeasureText(DeviceContextHandle dc, const std::wstring& text, float scale) {
    TextBox box;
    Gdip::Graphics* graphics = nullptr;
    if (dc == nullptr || Gdip::GdipCreateFromHDC(ToHdc(dc), &graphics) != Gdip::kOk) {
        return box;
    }
    {
        const CReadoutFont font(scale);
        Gdip::GdipSetTextRenderingHint(graphics, Gdip::kTextRenderingHintAntiAliasGridFit);
        const Gdip::RectF layout{0.0f, 0.0f, 0.0f, 0.0f};
        Gdip::RectF measured{0.0f, 0.0f, 0.0f, 0.0f};
        if (font.Get() != nullptr &&
            Gdip::GdipMeasureString(graphics, text.c_str(), static_cast<INT>(text.size()),
                                    font.Get(), &layout, nullptr, &measured, nullptr,
                                    nullptr) == Gdip::kOk) {
            box.left = measured.X;
            box.top = measured.Y;
            box.width = measured.Width;
            box.height = measured.Height;
        }
    }
    Gdip::GdipDeleteGraphics(graphics);
    return box;
}

Bitmap RenderText(const std::wstring& text, const TextBox& box, std::int32_t width,
                  std::int32_t height, float scale) {
    Bitmap result = CreateBitmap(width, height);
    Gdip::Graphics* graphics = nullptr;
    if (result.handle == nullptr ||
        Gdip::GdipGetImageGraphicsContext(ToBitmap(result.handle), &graphics) != Gdip::kOk) {
        return result;
    }
    Gdip::GdipGraphicsClear(graphics, 0xFFFFFFFFu);
    {
        const CReadoutFont font(scale);
        Gdip::GdipSetTextRenderingHint(graphics, Gdip::kTextRenderingHintAntiAliasGridFit);
        Gdip::StringFormat* format = nullptr;
        Gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
        if (format != nullptr) {
            Gdip::GdipSetStringFormatAlign(format, Gdip::kStringAlignmentCenter);
            Gdip::GdipSetStringFormatLineAlign(format, Gdip::kStringAlignmentCenter);
        }
        Gdip::Brush* black = nullptr;
        Gdip::GdipCreateSolidFill(0xFF000000u, &black);
        const Gdip::RectF layout{box.left, box.top, box.width, box.height};
        if (font.Get() != nullptr && black != nullptr) {
            Gdip::GdipDrawString(graphics, text.c_str(), static_cast<INT>(text.size()), font.Get(),
                                 &layout, format, black);
        }
        if (black != nullptr) {
            Gdip::GdipDeleteBrush(black);
        }
        if (format != nullptr) {
            Gdip::GdipDeleteStringFormat(format);
        }
    }
    Gdip::GdipDeleteGraphics(graphics);
    return result;
}

} // namespace Platform
} // namespace VLM
