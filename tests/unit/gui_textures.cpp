#include "gui/exceptions.h"
#include "gui/numbers.h"
#include "gui/textures.h"
#include "gui_support.h"

namespace VLM {
namespace {

using Testing::EditorTest;

TEST(FilmstripName, FramesAndColumns) {
    const FilmstripLayout fader = ParseFilmstripName(L"FADER01[64x18]");
    EXPECT_TRUE(fader.hasSuffix);
    EXPECT_EQ(fader.frameCount, 64);
    EXPECT_EQ(fader.columnCount, 18);
    const FilmstripLayout button = ParseFilmstripName(L"Button[2]");
    EXPECT_EQ(button.frameCount, 2);
    EXPECT_EQ(button.columnCount, 1);
    const FilmstripLayout plain = ParseFilmstripName(L"ZEM");
    EXPECT_FALSE(plain.hasSuffix);
    EXPECT_EQ(plain.frameCount, 1);
    EXPECT_EQ(plain.columnCount, 1);
}

TEST(FilmstripName, UpperCaseSeparatorIsNotAColumnCount) {
    const FilmstripLayout layout = ParseFilmstripName(L"FADER01[64X18]");
    EXPECT_EQ(layout.frameCount, 64);
    EXPECT_EQ(layout.columnCount, 1);
}

TEST(FilmstripName, CountsBelowOneAreOne) {
    EXPECT_EQ(ParseFilmstripName(L"A[0x0]").frameCount, 1);
    EXPECT_EQ(ParseFilmstripName(L"A[0x0]").columnCount, 1);
    EXPECT_EQ(ParseFilmstripName(L"A[-4x-2]").frameCount, 1);
    EXPECT_EQ(ParseFilmstripName(L"A[-4x-2]").columnCount, 1);
    EXPECT_EQ(ParseFilmstripName(L"A[").frameCount, 1);
    EXPECT_EQ(ParseFilmstripName(L"A[x]").columnCount, 1);
}

TEST(FilmstripName, ReadsIntegersAsTheRuntimeDoes) {
    EXPECT_EQ(ReadInteger(L"  +42abc"), 42);
    EXPECT_EQ(ReadInteger(L"-7"), -7);
    EXPECT_EQ(ReadInteger(L"x1"), 0);
    EXPECT_EQ(ReadInteger(L"99999999999"), 2147483647);
}

TEST(ImageName, AboveScaleOneTheTwinKeepsTheFilmstripSuffix) {
    EXPECT_EQ(ImageDensity(1.0f), 1);
    EXPECT_EQ(ImageDensity(1.25f), 2);
    EXPECT_EQ(ImageDensity(2.0f), 2);
    EXPECT_EQ(ImageNameAtDensity(L"FADER01[64x18]", 1), L"FADER01[64x18]");
    EXPECT_EQ(ImageNameAtDensity(L"FADER01[64x18]", 2), L"FADER01@2x[64x18]");
    EXPECT_EQ(ImageNameAtDensity(L"ZEM", 2), L"ZEM@2x");
    const FilmstripLayout twin = ParseFilmstripName(ImageNameAtDensity(L"KNOB[61x8]", 2));
    EXPECT_EQ(twin.frameCount, 61);
    EXPECT_EQ(twin.columnCount, 8);
}

TEST(TextureSide, SmallestPowerOfTwoFromTwo) {
    EXPECT_EQ(TextureSide(1), 2);
    EXPECT_EQ(TextureSide(2), 2);
    EXPECT_EQ(TextureSide(3), 4);
    EXPECT_EQ(TextureSide(258), 512);
    EXPECT_EQ(TextureSide(900), 1024);
    EXPECT_EQ(TextureSide(1024), 1024);
    EXPECT_EQ(TextureSide(2000000), 524288);
}

TEST(ResourceStream, EmptyNameOrTypeGivesNoStream) {
    Fake::Reset();
    EXPECT_FALSE(OpenResourceStream(L"", L"IMG").has_value());
    EXPECT_FALSE(OpenResourceStream(L"ZEM", L"").has_value());
    EXPECT_TRUE(Fake::Get().resourceLookups.empty());
}

TEST(ResourceStream, LooksUpLowerCaseAndQuotesNameAsGiven) {
    Fake::Reset();
    EXPECT_TRUE(OpenResourceStream(L"Button[2]", L"IMG").has_value());
    ASSERT_EQ(Fake::Get().resourceLookups.size(), 1u);
    EXPECT_EQ(Fake::Get().resourceLookups[0], L"button[2]");
    try {
        OpenResourceStream(L"Missing[2]", L"IMG");
        FAIL() << "a missing resource gave a stream";
    } catch (const Exceptions::Std& error) {
        EXPECT_EQ(error.Message(), L" RESOURCE ERROR:\r\n\r\nCan't find resource \"Missing[2]\" "
                                   L"of type \"IMG\".");
    }
}

class TextureCacheTest : public EditorTest {
protected:
    std::uint32_t Acquire(const std::wstring& name) {
        return editor->AcquireImage(name, width, height, u, v);
    }
    std::int32_t width = -5, height = -5;
    float u = -5.0f, v = -5.0f;
};

// Above a drawing scale of 1 every control draws its image's twin, and draws it exactly where
// and as large as the 1x image: same vertices, same texture coordinates, finer texels.
TEST_F(TextureCacheTest, AboveScaleOneTheTwinsDrawInTheSameLayout) {
    auto redrawAt = [&](float factor) {
        editor.reset();
        Fake::Reset();
        editor = std::make_unique<CDeviceGUI>(&effect);
        SetScale(factor);
        Fake::Get().resourceLookups.clear();
        Open();
        editor->RequestRedraw();
        Fake::TickTimers();
        return Fake::Get().gl.quads;
    };
    const std::vector<Fake::Quad> base = redrawAt(1.0f);
    ASSERT_FALSE(base.empty());
    for (const float factor : {1.25f, 2.0f}) {
        const std::vector<Fake::Quad> quads = redrawAt(factor);
        // Thirteen controls, each image read to be decoded ahead and again when acquired.
        EXPECT_EQ(Fake::Get().resourceLookups.size(), 26u) << "at " << factor;
        for (const std::wstring& name : Fake::Get().resourceLookups) {
            EXPECT_NE(name.find(L"@2x"), std::wstring::npos) << "at " << factor << ": " << name;
        }
        ASSERT_EQ(quads.size(), base.size()) << "at " << factor;
        for (std::size_t i = 0; i < quads.size(); ++i) {
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(quads[i].x[k], base[i].x[k]) << "quad " << i << " at " << factor;
                EXPECT_EQ(quads[i].y[k], base[i].y[k]) << "quad " << i << " at " << factor;
                EXPECT_FLOAT_EQ(quads[i].u[k], base[i].u[k]) << "quad " << i << " at " << factor;
                EXPECT_FLOAT_EQ(quads[i].v[k], base[i].v[k]) << "quad " << i << " at " << factor;
            }
        }
        const CKnob& fader = editor->Fader(0);
        EXPECT_EQ(fader.imageWidth, 900);
        EXPECT_EQ(fader.imageHeight, 940);
        EXPECT_EQ(Fake::Get().gl.uploads.at(fader.texture).width, 2048) << "the 1800-pixel twin";
    }
}

TEST_F(TextureCacheTest, AMissingTwinIsAnErrorNotAnEnlargement) {
    Fake::AddImage(L"DOT", 4, 4);
    SetScale(1.5f);
    Open();
    try {
        Acquire(L"DOT");
        FAIL() << "the 1x image stood in for its missing twin";
    } catch (const Exceptions::Std& error) {
        EXPECT_NE(error.Message().find(L"\"DOT@2x\" of type \"IMG\""), std::wstring::npos)
            << "got: " << testing::PrintToString(error.Message());
    }
    EXPECT_EQ(editor->Textures().count(L"DOT@2x"), 0u) << "a failed load must not stay cached";
}

TEST_F(TextureCacheTest, EmptyNameAcquiresNothing) {
    Open();
    EXPECT_EQ(Acquire(L""), 0u);
    EXPECT_EQ(width, -5) << "outputs must stay untouched";
    EXPECT_EQ(u, -5.0f);
    EXPECT_EQ(editor->Textures().count(L""), 0u);
}

TEST_F(TextureCacheTest, FaderTextureIsPowerOfTwoWithImageTopLeft) {
    Open();
    Fake::Get().gl.keepPixels = true;
    Fake::AddImage(L"STRIP[3]", 900, 940, 77);
    const std::uint32_t texture = Acquire(L"STRIP[3]");
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(width, 900);
    EXPECT_EQ(height, 940);
    EXPECT_FLOAT_EQ(u, 0.87890625f);
    EXPECT_FLOAT_EQ(v, 0.91796875f);
    const Fake::Upload& upload = Fake::Get().gl.uploads.at(texture);
    EXPECT_EQ(upload.width, 1024);
    EXPECT_EQ(upload.height, 1024);
    EXPECT_EQ(upload.internalFormat, GL_RGBA8);
    EXPECT_EQ(upload.format, static_cast<GLenum>(GL_BGRA));
    // The fake image's pixel (x, y) is blue x, green y, red the seed.
    auto pixel = [&](int x, int y) { return &upload.pixels[(std::size_t(y) * 1024 + x) * 4]; };
    EXPECT_EQ(pixel(0, 0)[2], 77);
    EXPECT_EQ(pixel(899, 939)[0], 899 % 256);
    EXPECT_EQ(pixel(899, 939)[1], 939 % 256);
    EXPECT_EQ(pixel(899, 939)[2], 77);
    EXPECT_EQ(Fake::Get().gl.texParameters[GL_TEXTURE_MIN_FILTER], GL_LINEAR);
    EXPECT_EQ(Fake::Get().gl.texParameters[GL_TEXTURE_MAG_FILTER], GL_LINEAR);
    editor->ReleaseImage(texture);
}

TEST_F(TextureCacheTest, SharedByNameAndDeletedAtTheLastRelease) {
    Open();
    Fake::AddImage(L"DOT", 1, 64);
    const std::uint32_t first = Acquire(L"DOT");
    const std::uint32_t second = Acquire(L"DOT");
    EXPECT_EQ(first, second);
    EXPECT_FLOAT_EQ(u, 0.5f) << "a 1-pixel side takes a texture side of 2";
    EXPECT_FLOAT_EQ(v, 1.0f);
    EXPECT_EQ(editor->Textures().at(L"DOT").refCount, 2);
    EXPECT_EQ(Fake::CallCount("DecodeImage"), 1) << "the second acquisition must not decode";
    editor->ReleaseImage(first);
    EXPECT_EQ(Fake::Get().gl.liveTextures.count(first), 1u);
    editor->ReleaseImage(first);
    EXPECT_EQ(Fake::Get().gl.liveTextures.count(first), 0u);
    EXPECT_EQ(editor->Textures().count(L"DOT"), 0u);
    editor->ReleaseImage(first); // once more than acquired
    editor->ReleaseImage(0);
    EXPECT_EQ(Fake::GLCallCount("glDeleteTextures"), 1);
}

// The ten fader filmstrips are one picture under ten names: one decode, one texture, and the
// texture stays while any of the names still holds it.
TEST_F(TextureCacheTest, NamesWithTheSameBytesShareOneDecodeAndOneTexture) {
    for (int band = 1; band <= 10; ++band) {
        const std::wstring number = (band < 10 ? L"0" : L"") + std::to_wstring(band);
        Fake::AddImage(L"FADER" + number + L"[64X18]", 900, 940, 10);
    }
    Open();
    EXPECT_EQ(editor->Textures().size(), 13u) << "every name keeps its own count";
    EXPECT_EQ(Fake::Get().gl.liveTextures.size(), 4u) << "face plate, fader, button, lamp";
    for (int band = 1; band < 10; ++band) {
        EXPECT_EQ(editor->Fader(band).texture, editor->Fader(0).texture) << "band " << band;
    }

    Fake::AddImage(L"TWIN_A", 6, 5, 99);
    Fake::AddImage(L"TWIN_B", 6, 5, 99);
    Fake::Get().calls.clear();
    Fake::Get().gl.calls.clear();
    const std::uint32_t a = Acquire(L"TWIN_A");
    const std::uint32_t b = Acquire(L"TWIN_B");
    EXPECT_EQ(a, b);
    EXPECT_EQ(width, 6);
    EXPECT_FLOAT_EQ(u, 0.75f);
    EXPECT_EQ(Fake::CallCount("DecodeImage"), 1);
    EXPECT_EQ(Fake::GLCallCount("glTexImage2D"), 1);
    EXPECT_EQ(editor->Textures().at(L"TWIN_A").refCount, 1);
    EXPECT_EQ(editor->Textures().at(L"TWIN_B").refCount, 1);

    // One name given back: the other still draws from the texture, with its pixels.
    editor->ReleaseImage(a);
    EXPECT_EQ(editor->Textures().count(L"TWIN_A"), 0u);
    EXPECT_EQ(editor->Textures().at(L"TWIN_B").texture, b);
    EXPECT_EQ(Fake::Get().gl.uploads.count(b), 1u);
    // Taken again, the name finds the picture still loaded.
    EXPECT_EQ(Acquire(L"TWIN_A"), b);
    EXPECT_EQ(Fake::CallCount("DecodeImage"), 1);
    editor->ReleaseImage(b);
    editor->ReleaseImage(b);
    EXPECT_EQ(Fake::Get().gl.liveTextures.count(b), 0u) << "the last name's release deletes it";
    EXPECT_EQ(Fake::GLCallCount("glDeleteTextures"), 1);
    EXPECT_EQ(editor->Textures().count(L"TWIN_B"), 0u);

    editor->close();
    EXPECT_TRUE(Fake::Get().gl.liveTextures.empty());
    EXPECT_EQ(Fake::GLCallCount("glDeleteTextures"), 1 + 4) << "each shared texture once";
}

// A failed upload names the image asked for, also when it shares its bytes with another name,
// and leaves nothing behind for either name.
TEST_F(TextureCacheTest, FailedUploadOfASharedPictureNamesTheImage) {
    Open();
    Fake::AddImage(L"TWIN_A", 900, 940, 98);
    Fake::AddImage(L"TWIN_B", 900, 940, 98);
    Fake::Get().gl.failOn["glTexImage2D"] = GL_OUT_OF_MEMORY;
    for (const wchar_t* name : {L"TWIN_A", L"TWIN_B"}) {
        try {
            Acquire(name);
            FAIL() << "a refused upload was accepted";
        } catch (const Exceptions::OGLTexImage2D& error) {
            EXPECT_NE(error.Message().find(L"Image: \"" + std::wstring(name) + L"\" (1024x1024px)"),
                      std::wstring::npos)
                << "got: " << testing::PrintToString(error.Message());
        }
        EXPECT_EQ(editor->Textures().count(name), 0u);
    }
    Fake::Get().gl.failOn.clear();
    const std::uint32_t texture = Acquire(L"TWIN_B");
    EXPECT_EQ(Fake::Get().gl.uploads.count(texture), 1u) << "texture handed out without data";
    editor->ReleaseImage(texture);
}

TEST(TextureSize, AnySizeFromVersionTwoOrByExtension) {
    EXPECT_TRUE(OffersAnyTextureSize("2.0", nullptr));
    EXPECT_TRUE(OffersAnyTextureSize("4.5 (Compatibility Profile) Mesa 22.3.6", ""));
    EXPECT_TRUE(OffersAnyTextureSize("10.1", nullptr));
    EXPECT_TRUE(OffersAnyTextureSize("1.4", "GL_EXT_bgra GL_ARB_texture_non_power_of_two"));
    EXPECT_TRUE(OffersAnyTextureSize(nullptr, "GL_ARB_texture_non_power_of_two GL_EXT_bgra"));
    EXPECT_FALSE(OffersAnyTextureSize("1.4", "GL_ARB_texture_non_power_of_two_x GL_EXT_bgra"));
    EXPECT_FALSE(OffersAnyTextureSize("1.1 Fake", "GL_EXT_bgra"));
    EXPECT_FALSE(OffersAnyTextureSize(nullptr, nullptr));
}

// Where GL takes any size the image is its texture: no padding, the whole texture drawn.
TEST_F(TextureCacheTest, ImageOwnSizeWhereGLTakesIt) {
    Fake::Get().gl.version = "2.1 Fake";
    Open();
    Fake::Get().gl.keepPixels = true;
    Fake::AddImage(L"STRIP[3]", 900, 940, 77);
    const std::uint32_t texture = Acquire(L"STRIP[3]");
    EXPECT_EQ(width, 900);
    EXPECT_FLOAT_EQ(u, 1.0f);
    EXPECT_FLOAT_EQ(v, 1.0f);
    const Fake::Upload& upload = Fake::Get().gl.uploads.at(texture);
    EXPECT_EQ(upload.width, 900);
    EXPECT_EQ(upload.height, 940);
    EXPECT_EQ(upload.pixels[(std::size_t(939) * 900 + 899) * 4 + 0], 899 % 256);
    EXPECT_EQ(upload.pixels[(std::size_t(939) * 900 + 899) * 4 + 1], 939 % 256);
    EXPECT_EQ(Fake::CallCount("CreateBitmap"), 0) << "no padded copy";
    editor->ReleaseImage(texture);
}

TEST_F(TextureCacheTest, KeysAreCaseSensitiveButResourcesAreNot) {
    Open();
    const std::uint32_t a = Acquire(L"Button[2]");
    const std::uint32_t b = Acquire(L"BUTTON[2]");
    EXPECT_NE(a, 0u);
    EXPECT_EQ(a, b) << "one resource, so one picture";
    // The controls' thirteen images, "Button[2]" among them, and the new key.
    EXPECT_EQ(editor->Textures().size(), 13u + 1u);
    EXPECT_EQ(editor->Textures().at(L"BUTTON[2]").refCount, 1);
}

TEST_F(TextureCacheTest, UndecodableImageReportsSizeZero) {
    Open();
    Fake::Get().resources[L"broken"] = {1, 2, 3};
    try {
        Acquire(L"Broken");
        FAIL() << "an undecodable image was accepted";
    } catch (const Exceptions::GDIPImage& error) {
        EXPECT_EQ(error.Message(), L" GDI+ ERROR:\r\n\r\nFunction: Gdiplus::Bitmap() error = 0x2"
                                   L"\r\nImage: \"Broken\" (0x0px)\r\n\r\nCan't load image.");
    }
    EXPECT_EQ(editor->Textures().count(L"Broken"), 0u);
}

TEST_F(TextureCacheTest, PowerOfTwoBitmapFailureNamesIt) {
    Open();
    Fake::AddImage(L"NEW", 10, 10);
    Fake::Get().createBitmapStatus = 3;
    try {
        Acquire(L"NEW");
        FAIL() << "a failed power-of-two bitmap was accepted";
    } catch (const Exceptions::GDIPImage& error) {
        EXPECT_NE(error.Message().find(L"error = 0x3\r\nImage: \"iImagePow2\" (0x0px)"),
                  std::wstring::npos)
            << "got: " << testing::PrintToString(error.Message());
    }
}

TEST_F(TextureCacheTest, RefusedUploadLeavesNoTextureBehind) {
    Open();
    Fake::AddImage(L"BIG", 900, 940);
    Fake::Get().gl.failOn["glTexImage2D"] = GL_OUT_OF_MEMORY;
    EXPECT_THROW(Acquire(L"BIG"), Exceptions::OGLTexImage2D);
    EXPECT_EQ(editor->Textures().count(L"BIG"), 0u) << "a failed load must not stay cached";
    const std::size_t liveAfterFailure = Fake::Get().gl.liveTextures.size();
    Fake::Get().gl.failOn.clear();
    const std::uint32_t texture = Acquire(L"BIG");
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(Fake::Get().gl.uploads.count(texture), 1u) << "texture handed out without data";
    EXPECT_EQ(Fake::Get().gl.liveTextures.size(), liveAfterFailure + 1)
        << "the failed texture name was not deleted";
    editor->ReleaseImage(texture);
}

TEST_F(TextureCacheTest, GenerateAndBindFailuresNameTheirFunction) {
    Open();
    Fake::AddImage(L"ONE", 4, 4);
    Fake::Get().gl.failOn["glBindTexture"] = GL_INVALID_OPERATION;
    try {
        Acquire(L"ONE");
        FAIL() << "a bind failure was ignored";
    } catch (const Exceptions::OGL& error) {
        EXPECT_NE(error.Message().find(L"Function: glBindTexture(): error = 0x502"),
                  std::wstring::npos);
    }
}

} // namespace
} // namespace VLM
