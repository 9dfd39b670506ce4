// The few entry points of the GDI+ flat API that the editor uses, with the types they take.
// Declared here rather than through the C++ wrapper headers, which pull in far more than the
// editor needs and do not compile cleanly under the project's warning set.
#pragma once

#include "platform/win32/win32.h"

namespace VLM {
namespace Gdip {

using Status = INT; // 0 = Ok
using PixelFormat = INT;
using ARGB = DWORD;
using REAL = float;

struct Bitmap;
struct Graphics;
struct FontFamily;
struct FontCollection;
struct Font;
struct StringFormat;
struct Brush;

using DebugEventProc = void(WINAPI*)(INT level, CHAR* message);

struct StartupInput {
    UINT32 GdiplusVersion;
    DebugEventProc DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

struct RectF {
    REAL X;
    REAL Y;
    REAL Width;
    REAL Height;
};

struct BitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    PixelFormat Format;
    void* Scan0;
    UINT_PTR Reserved;
};

constexpr Status kOk = 0;
constexpr Status kInvalidParameter = 2;
constexpr Status kOutOfMemory = 3;
constexpr PixelFormat kPixelFormat32bppARGB = 0x0026200A;
constexpr UINT kImageLockModeRead = 1;
constexpr UINT kImageLockModeWrite = 2;
constexpr INT kUnitPoint = 3;
constexpr INT kFontStyleRegular = 0;
constexpr INT kTextRenderingHintAntiAliasGridFit = 3;
constexpr INT kStringAlignmentCenter = 1;

extern "C" {
Status WINAPI GdiplusStartup(ULONG_PTR* token, const StartupInput* input, void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);

Status WINAPI GdipCreateBitmapFromStream(IStream* stream, Bitmap** bitmap);
Status WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format,
                                        BYTE* scan0, Bitmap** bitmap);
Status WINAPI GdipGetImageWidth(Bitmap* image, UINT* width);
Status WINAPI GdipGetImageHeight(Bitmap* image, UINT* height);
Status WINAPI GdipBitmapLockBits(Bitmap* bitmap, const void* rect, UINT flags, PixelFormat format,
                                 BitmapData* data);
Status WINAPI GdipBitmapUnlockBits(Bitmap* bitmap, BitmapData* data);
Status WINAPI GdipDisposeImage(Bitmap* image);

Status WINAPI GdipCreateFontFamilyFromName(const WCHAR* name, FontCollection* collection,
                                           FontFamily** family);
Status WINAPI GdipDeleteFontFamily(FontFamily* family);
Status WINAPI GdipCreateFont(const FontFamily* family, REAL emSize, INT style, INT unit,
                             Font** font);
Status WINAPI GdipDeleteFont(Font* font);
Status WINAPI GdipCreateFromHDC(HDC dc, Graphics** graphics);
Status WINAPI GdipGetImageGraphicsContext(Bitmap* image, Graphics** graphics);
Status WINAPI GdipDeleteGraphics(Graphics* graphics);
Status WINAPI GdipSetTextRenderingHint(Graphics* graphics, INT hint);
Status WINAPI GdipGraphicsClear(Graphics* graphics, ARGB colour);
Status WINAPI GdipMeasureString(Graphics* graphics, const WCHAR* text, INT length, const Font* font,
                                const RectF* layout, const StringFormat* format, RectF* box,
                                INT* codepointsFitted, INT* linesFilled);
Status WINAPI GdipCreateStringFormat(INT attributes, LANGID language, StringFormat** format);
Status WINAPI GdipDeleteStringFormat(StringFormat* format);
Status WINAPI GdipSetStringFormatAlign(StringFormat* format, INT align);
Status WINAPI GdipSetStringFormatLineAlign(StringFormat* format, INT align);
Status WINAPI GdipCreateSolidFill(ARGB colour, Brush** brush);
Status WINAPI GdipDeleteBrush(Brush* brush);
Status WINAPI GdipDrawString(Graphics* graphics, const WCHAR* text, INT length, const Font* font,
                             const RectF* layout, const StringFormat* format, const Brush* brush);
}

} // namespace Gdip
} // namespace VLM
