// The Linux platform services: compiled-in resources, PNG decoding, UTF-8 text, and the
// answers of a platform without an editor window.
#include "device/devicegui.h"
#include "platform/platform.h"
#include "resources/embedded.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace VLM::Platform;
using Bytes = std::vector<std::uint8_t>;

// Encodes pixels of the given libpng format into a PNG held in memory.
Bytes EncodePng(std::uint32_t width, std::uint32_t height, std::uint32_t format,
                const std::vector<std::uint8_t>& pixels) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    png_alloc_size_t size = 0;
    EXPECT_NE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr), 0);
    Bytes out(size);
    EXPECT_NE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr),
              0);
    out.resize(size);
    return out;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutBigEndian(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void PutChunk(Bytes& out, const Bytes& typeAndData) {
    PutBigEndian(out, static_cast<std::uint32_t>(typeAndData.size() - 4));
    out.insert(out.end(), typeAndData.begin(), typeAndData.end());
    PutBigEndian(out, Crc32(typeAndData.data(), typeAndData.size()));
}

// A well-formed PNG header that claims the given size, followed by no image data.
Bytes HeaderOnlyPng(std::uint32_t width, std::uint32_t height) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header = {'I', 'H', 'D', 'R'};
    PutBigEndian(header, width);
    PutBigEndian(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, no interlace
    PutChunk(out, header);
    PutChunk(out, {'I', 'D', 'A', 'T'});
    PutChunk(out, {'I', 'E', 'N', 'D'});
    return out;
}

// Decodes and owns the result for the length of a test.
struct Decoded {
    explicit Decoded(const Bytes& bytes) : bitmap(DecodeImage(bytes.data(), bytes.size())) {}
    ~Decoded() { DisposeBitmap(bitmap.handle); }
    Bitmap bitmap;
};

// Pixel (x, y) of a bitmap as B, G, R, A.
std::vector<int> PixelAt(BitmapHandle bitmap, int x, int y) {
    PixelRows rows;
    if (!LockPixels(bitmap, rows)) {
        return {};
    }
    const std::uint8_t* p = rows.scan0 + y * rows.stride + x * 4;
    std::vector<int> bgra = {p[0], p[1], p[2], p[3]};
    UnlockPixels(bitmap, rows);
    return bgra;
}

TEST(LinuxResources, FindsImagesWhateverTheCaseOfTheirNames) {
    for (const wchar_t* name : {L"zem", L"ZEM", L"Zem", L"fader01[64x18]", L"button[2]"}) {
        Bytes bytes;
        ASSERT_TRUE(ReadResource(ModuleInstance(), name, L"IMG", bytes))
            << "expected to find the image resource named " << testing::PrintToString(name);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(0, std::memcmp(bytes.data(), "\x89PNG", 4)) << "expected PNG bytes";
    }
}

TEST(LinuxResources, GivesEveryByteOfTheStoredFile) {
    ASSERT_GT(VLM::kEmbeddedResourceCount, 0u);
    const VLM::EmbeddedResource& first = VLM::kEmbeddedResources[0];
    std::wstring name;
    for (const char* c = first.name; *c != 0; ++c) {
        name.push_back(static_cast<wchar_t>(*c));
    }
    Bytes bytes;
    ASSERT_TRUE(ReadResource(ModuleInstance(), name, L"img", bytes));
    ASSERT_EQ(first.size, bytes.size());
    EXPECT_EQ(0, std::memcmp(first.data, bytes.data(), bytes.size()));
    EXPECT_EQ(ResourceSize(ModuleInstance(), name, L"img"), bytes.size());
}

TEST(LinuxResources, RefusesUnknownNamesAndTypes) {
    Bytes bytes;
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"nothing", L"IMG", bytes));
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"ze", L"IMG", bytes)) << "a prefix is no match";
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"zemx", L"IMG", bytes));
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"zem", L"PNG", bytes));
    EXPECT_FALSE(ReadResource(ModuleInstance(), L"", L"IMG", bytes));
    EXPECT_FALSE(ReadResource(nullptr, L"zem", L"IMG", bytes));
    EXPECT_EQ(ResourceSize(ModuleInstance(), L"ze", L"IMG"), 0u);
    EXPECT_EQ(ResourceSize(ModuleInstance(), L"zem", L"PNG"), 0u);
}

TEST(LinuxImages, DecodesTheFaceplateAtItsSize) {
    Bytes bytes;
    ASSERT_TRUE(ReadResource(ModuleInstance(), L"zem", L"IMG", bytes));
    const Decoded image(bytes);
    ASSERT_EQ(0, image.bitmap.status);
    ASSERT_NE(nullptr, image.bitmap.handle);
    EXPECT_EQ(900, BitmapWidth(image.bitmap.handle));
    EXPECT_EQ(258, BitmapHeight(image.bitmap.handle));
}

TEST(LinuxImages, DecodesToBlueGreenRedAlphaWithStraightAlpha) {
    // RGBA: opaque red, half-transparent green, nearly transparent grey-blue, opaque white.
    const std::vector<std::uint8_t> rgba = {255, 0,  0,   255, 0,   255, 0,   128,
                                            10,  20, 200, 3,   255, 255, 255, 255};
    const Decoded image(EncodePng(2, 2, PNG_FORMAT_RGBA, rgba));
    ASSERT_EQ(0, image.bitmap.status);
    EXPECT_EQ((std::vector<int>{0, 0, 255, 255}), PixelAt(image.bitmap.handle, 0, 0));
    EXPECT_EQ((std::vector<int>{0, 255, 0, 128}), PixelAt(image.bitmap.handle, 1, 0))
        << "colour must not be premultiplied by alpha";
    EXPECT_EQ((std::vector<int>{200, 20, 10, 3}), PixelAt(image.bitmap.handle, 0, 1));
    EXPECT_EQ((std::vector<int>{255, 255, 255, 255}), PixelAt(image.bitmap.handle, 1, 1));
}

TEST(LinuxImages, ConvertsGreyImagesToOpaqueColour) {
    const Decoded image(EncodePng(3, 1, PNG_FORMAT_GRAY, {0, 77, 255}));
    ASSERT_EQ(0, image.bitmap.status);
    EXPECT_EQ((std::vector<int>{77, 77, 77, 255}), PixelAt(image.bitmap.handle, 1, 0));
}

TEST(LinuxImages, RefusesDataThatIsNoImage) {
    const Bytes garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Decoded noImage(garbage);
    EXPECT_EQ(nullptr, noImage.bitmap.handle);
    EXPECT_NE(0, noImage.bitmap.status);

    const Bitmap none = DecodeImage(nullptr, 0);
    EXPECT_EQ(nullptr, none.handle);
    EXPECT_EQ(2, none.status) << "expected InvalidParameter for no bytes";
}

TEST(LinuxImages, RefusesTruncatedFiles) {
    std::vector<std::uint8_t> rgba(64 * 64 * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<std::uint8_t>(i * 7);
    }
    Bytes bytes = EncodePng(64, 64, PNG_FORMAT_RGBA, rgba);
    bytes.resize(bytes.size() / 2);
    const Decoded image(bytes);
    EXPECT_EQ(nullptr, image.bitmap.handle);
    EXPECT_NE(0, image.bitmap.status);
}

TEST(LinuxImages, RefusesClaimedSizesTooLargeToHold) {
    const Decoded image(HeaderOnlyPng(30000, 30000));
    EXPECT_EQ(nullptr, image.bitmap.handle);
    EXPECT_EQ(3, image.bitmap.status) << "expected OutOfMemory for a 30000 x 30000 image";
}

TEST(LinuxImages, CreatedBitmapsHaveRowsOfTheirOwn) {
    const Bitmap bitmap = CreateBitmap(5, 3);
    ASSERT_EQ(0, bitmap.status);
    EXPECT_EQ(5, BitmapWidth(bitmap.handle));
    EXPECT_EQ(3, BitmapHeight(bitmap.handle));
    PixelRows rows;
    ASSERT_TRUE(LockPixels(bitmap.handle, rows));
    EXPECT_EQ(20, rows.stride);
    rows.scan0[2 * rows.stride + 4 * 4 + 3] = 0x5A;
    UnlockPixels(bitmap.handle, rows);
    EXPECT_EQ(0x5A, PixelAt(bitmap.handle, 4, 2)[3]) << "the written pixel must stay";
    DisposeBitmap(bitmap.handle);

    const Bitmap empty = CreateBitmap(0, 3);
    EXPECT_EQ(nullptr, empty.handle);
    EXPECT_NE(0, empty.status);
    EXPECT_EQ(0, BitmapWidth(nullptr));
    EXPECT_FALSE(LockPixels(nullptr, rows));
}

TEST(LinuxImages, ReadoutTextIsAnOpaqueBoxOfTheMeasuredSize) {
    const TextBox box = MeasureText(nullptr, L"31 Hz: +6.0dB", 1.0f);
    EXPECT_GT(box.width, 0.0f);
    EXPECT_GT(box.height, 0.0f);
    EXPECT_EQ(0.0f, MeasureText(nullptr, L"", 1.0f).width);
    EXPECT_FLOAT_EQ(2.0f * box.width, MeasureText(nullptr, L"31 Hz: +6.0dB", 2.0f).width)
        << "the box grows with the drawing scale";
    const Bitmap text = RenderText(L"31 Hz: +6.0dB", box, 128, 16, 1.0f);
    ASSERT_NE(nullptr, text.handle);
    EXPECT_EQ((std::vector<int>{255, 255, 255, 255}), PixelAt(text.handle, 127, 15));
    DisposeBitmap(text.handle);
}

TEST(LinuxText, DecodesUtf8) {
    EXPECT_EQ(L"Gr\u00FC\u00DFe \u20AC", AnsiToWide("Gr\xC3\xBC\xC3\x9F"
                                                    "e \xE2\x82\xAC"));
    const std::wstring clef = AnsiToWide("\xF0\x9D\x84\x9E");
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ(std::wstring(1, static_cast<wchar_t>(0x1D11E)), clef);
    } else {
        EXPECT_EQ(2u, clef.size()) << "expected a surrogate pair";
    }
    EXPECT_EQ(L"", AnsiToWide(nullptr));
    EXPECT_EQ(L"", AnsiToWide(""));
}

TEST(LinuxText, MalformedUtf8GivesNothing) {
    for (const char* bad :
         {"ab\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80", "x\x80y", "\xE2\x82"}) {
        EXPECT_EQ(L"", AnsiToWide(bad)) << "expected no text for " << testing::PrintToString(bad);
    }
}

TEST(LinuxText, EncodesUtf8AndRoundTrips) {
    const std::wstring text = L"31 Hz: +6.0dB \u00B5 \u221E";
    EXPECT_EQ("31 Hz: +6.0dB \xC2\xB5 \xE2\x88\x9E", WideToAnsi(text));
    EXPECT_EQ(text, AnsiToWide(WideToAnsi(text).c_str()));
    EXPECT_EQ("", WideToAnsi(L""));
}

TEST(LinuxText, CharactersWithoutUtf8FormGiveNothing) {
    EXPECT_EQ("", WideToAnsi(std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"b"));
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ("", WideToAnsi(std::wstring(1, static_cast<wchar_t>(0x110000))));
    }
}

TEST(LinuxEditor, AnswersThatNoEditorWindowCanOpen) {
    EXPECT_FALSE(CanOpenEditorWindow());
    EXPECT_EQ(nullptr, CreateEditorWindow(ModuleInstance(), nullptr, 900, 258));
    EXPECT_EQ(nullptr, GetDeviceContext(nullptr));
    EXPECT_EQ(nullptr, CurrentGLContext());
    EXPECT_TRUE(MakeGLContextCurrent(nullptr, nullptr)) << "detaching must always succeed";
    std::uintptr_t token = 0;
    EXPECT_EQ(0, ImageLibraryStartup(token));
    ImageLibraryShutdown(token);
}

TEST(LinuxEditor, ErrorBoxWritesCaptionAndTextToStandardError) {
    testing::internal::CaptureStderr();
    ShowErrorBox(nullptr, L"VLM Tarvix 1.0.0 RESOURCE ERROR:\r\n\r\nCan't find resource",
                 L"VLM Tarvix 1.0.0");
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, written.find("VLM Tarvix 1.0.0")) << written;
    EXPECT_NE(std::string::npos, written.find("ERROR:\n\nCan't find resource"))
        << "expected bare line feeds, got: " << written;
}

} // namespace

namespace {

TEST(LinuxEditor, EqualiserEditorBuildsAndRefusesToOpenWithoutAnErrorBox) {
    testing::internal::CaptureStderr();
    {
        VLM::CDeviceGUI editor(nullptr);
        ERect* rect = nullptr;
        ASSERT_TRUE(editor.getRect(&rect));
        ASSERT_NE(nullptr, rect);
        EXPECT_EQ(900, rect->right) << "the faceplate decoded with libpng gives the width";
        EXPECT_EQ(258, rect->bottom);
        int parent = 0;
        EXPECT_FALSE(editor.open(&parent));
        EXPECT_FALSE(editor.isOpen());
        editor.close();
        EXPECT_FLOAT_EQ(0.5f, editor.GetControlValue(0)) << "the controls work without a window";
    }
    EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "expected no error box";
}

} // namespace
