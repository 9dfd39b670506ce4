#include "gui/exceptions.h"
#include "platform_fake/fakeplatform.h"

#include <gtest/gtest.h>

#include <limits>

namespace VLM {
namespace {

using Exceptions::ToText;

class ExceptionsTest : public ::testing::Test {
protected:
    void SetUp() override { Fake::Reset(); }
};

TEST(ToText, DecimalAndHexadecimal) {
    EXPECT_EQ(ToText(0), L"0");
    EXPECT_EQ(ToText(1400), L"1400");
    EXPECT_EQ(ToText(-5), L"-5");
    EXPECT_EQ(ToText(std::numeric_limits<std::int32_t>::min()), L"-2147483648");
    EXPECT_EQ(ToText(0, true), L"0x0");
    EXPECT_EQ(ToText(1280, true), L"0x500");
    EXPECT_EQ(ToText(0x505, true), L"0x505");
    EXPECT_EQ(ToText(-1, true), L"0xffffffff");
}

TEST_F(ExceptionsTest, StdComposesTitleAndMessage) {
    const Exceptions::Std error(L"Can't find it.", L"RESOURCE");
    EXPECT_EQ(error.Message(), L" RESOURCE ERROR:\r\n\r\nCan't find it.");
    EXPECT_STREQ(error.what(), "Unknown exception");
}

TEST_F(ExceptionsTest, ResourceMessageQuotesNameAndType) {
    EXPECT_EQ(Exceptions::ResourceError(L"Button[2]", L"IMG").Message(),
              L" RESOURCE ERROR:\r\n\r\nCan't find resource \"Button[2]\" of type \"IMG\".");
}

TEST_F(ExceptionsTest, WindowCreationFailure) {
    const Exceptions::StdFunc error(L"CreateWindow", 1400, L"EDITOR");
    EXPECT_EQ(error.Message(),
              L" EDITOR ERROR:\r\n\r\n\r\n\r\nFunction: CreateWindow(): error = 1400");
}

TEST_F(ExceptionsTest, GdiplusStartupUsesNoColon) {
    const Exceptions::GDIP error(L"GdiplusStartup", 2);
    EXPECT_EQ(error.Message(), L" GDI+ ERROR:\r\n\r\nFunction: GdiplusStartup() error = 0x2");
}

TEST_F(ExceptionsTest, UndecodableImage) {
    const Exceptions::GDIPImage error(L"ZEM", 0, 0, 2);
    EXPECT_EQ(error.Message(), L" GDI+ ERROR:\r\n\r\nFunction: Gdiplus::Bitmap() error = 0x2"
                               L"\r\nImage: \"ZEM\" (0x0px)\r\n\r\nCan't load image.");
}

TEST_F(ExceptionsTest, OpenGLWithoutContextHasNoDriverLines) {
    const Exceptions::OGL error(L"GetDC", 0);
    EXPECT_EQ(error.Message(), L" OPENGL ERROR:\r\n\r\nFunction: GetDC(): error = 0x0");
}

TEST_F(ExceptionsTest, OpenGLWithContextDescribesDriver) {
    Fake::Get().currentContext = reinterpret_cast<void*>(0x10);
    Fake::Get().gl.vendor = "V\xE9ndor"; // 8-bit text of the code page
    const Exceptions::OGL error(L"glViewport", 0x501);
    EXPECT_EQ(error.Message(), L" OPENGL ERROR:\r\n\r\nVendor: V\u00E9ndor\r\nRenderer: Fake "
                               L"Renderer\r\nVersion: 1.1 Fake\r\nFunction: glViewport(): error = "
                               L"0x501");
}

TEST_F(ExceptionsTest, RefusedUploadNamesDriverMaximum) {
    Fake::Get().currentContext = reinterpret_cast<void*>(0x10);
    Fake::Get().gl.maxTextureSize = 512;
    const Exceptions::OGLTexImage2D error(L"FADER01[64x18]", 1024, 1024, 0x505);
    EXPECT_EQ(error.Message(),
              L" OPENGL ERROR:\r\n\r\nVendor: Fake Vendor\r\nRenderer: Fake Renderer\r\nVersion: "
              L"1.1 Fake\r\nFunction: glTexImage2D(): error = 0x505\r\nImage: \"FADER01[64x18]\" "
              L"(1024x1024px)\r\n\r\nCan't create texture. Your version of OpenGL supports maximum "
              L"512px size texture. Please update your graphics driver or hardware and try again.");
}

TEST_F(ExceptionsTest, FamilyIsCaughtAsStd) {
    try {
        throw Exceptions::GDIPImage(L"iImagePow2", 0, 0, 3);
    } catch (const Exceptions::Std& error) {
        EXPECT_NE(error.Message().find(L"iImagePow2"), std::wstring::npos) << "message lost";
        return;
    }
    FAIL() << "GDIPImage was not caught as Std";
}

TEST_F(ExceptionsTest, ShowErrorPutsCaptionBeforeMessage) {
    Exceptions::ShowError(Exceptions::GDIP(L"GdiplusStartup", 2), kErrorCaption);
    ASSERT_EQ(Fake::Get().messageBoxes.size(), 1u);
    EXPECT_EQ(Fake::Get().messageBoxes[0].first,
              L"VLM Tarvix 1.0.0 GDI+ ERROR:\r\n\r\nFunction: GdiplusStartup() error = 0x2");
    EXPECT_EQ(Fake::Get().messageBoxes[0].second, L"VLM Tarvix 1.0.0");
}

} // namespace
} // namespace VLM
