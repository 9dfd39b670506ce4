#include "gui/exceptions.h"

#include "platform/gl.h"
#include "platform/platform.h"

namespace VLM {

const wchar_t* const kErrorCaption = L"VLM Tarvix 1.0.0";

namespace Exceptions {

Std::Std(const std::wstring& text, const std::wstring& title)
    : message(L" " + title + L" ERROR:\r\n\r\n" + text) {}

const char* Std::what() const noexcept {
    return "Unknown exception";
}

StdFunc::StdFunc(const std::wstring& function, std::int32_t error, const std::wstring& title)
    : Std(L"\r\n\r\nFunction: " + function + L"(): error = " + ToText(error), title) {}

namespace {
// One description line of the current GL driver, or nothing while no context is current.
std::wstring DriverLine(const wchar_t* name, GLenum which) {
    const GLubyte* text = glGetString(which);
    if (text == nullptr) {
        return std::wstring();
    }
    return name + AnsiToWide(reinterpret_cast<const char*>(text)) + L"\r\n";
}
} // namespace

OGL::OGL(const std::wstring& function, std::int32_t error) : Std(L"", L"OPENGL") {
    message += DriverLine(L"Vendor: ", GL_VENDOR);
    message += DriverLine(L"Renderer: ", GL_RENDERER);
    message += DriverLine(L"Version: ", GL_VERSION);
    message += L"Function: " + function + L"(): error = " + ToText(error, true);
}

OGLTexImage2D::OGLTexImage2D(const std::wstring& image, std::int32_t width, std::int32_t height,
                             std::int32_t error)
    : OGL(L"glTexImage2D", error) {
    GLint maximum = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maximum);
    message += L"\r\nImage: \"" + image + L"\" (" + ToText(width) + L"x" + ToText(height) +
               L"px)\r\n\r\nCan't create texture. Your version of OpenGL supports maximum " +
               ToText(maximum) +
               L"px size texture. Please update your graphics driver or hardware and try again.";
}

GDIP::GDIP(const std::wstring& function, std::int32_t status) : Std(L"", L"GDI+") {
    message += L"Function: " + function + L"() error = " + ToText(status, true);
}

GDIPImage::GDIPImage(const std::wstring& image, std::int32_t width, std::int32_t height,
                     std::int32_t status)
    : GDIP(L"Gdiplus::Bitmap", status) {
    message += L"\r\nImage: \"" + image + L"\" (" + ToText(width) + L"x" + ToText(height) +
               L"px)\r\n\r\nCan't load image.";
}

std::wstring ToText(std::int32_t value, bool hex) {
    // Room for "-2147483648" and the terminator, built from the right.
    wchar_t buffer[12];
    wchar_t* end = buffer + 12;
    wchar_t* p = end;
    if (hex) {
        std::uint32_t v = static_cast<std::uint32_t>(value);
        do {
            *--p = L"0123456789abcdef"[v & 0xFu];
            v >>= 4;
        } while (v != 0);
        return L"0x" + std::wstring(p, end);
    }
    // Work in the unsigned magnitude so that the most negative number has one too.
    std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0) {
        *--p = L'-';
    }
    return std::wstring(p, end);
}

std::wstring AnsiToWide(const char* text) {
    return Platform::AnsiToWide(text);
}

Std ResourceError(const std::wstring& name, const std::wstring& type) {
    return Std(L"Can't find resource \"" + name + L"\" of type \"" + type + L"\".", L"RESOURCE");
}

void ShowError(const Std& error, const std::wstring& caption, void* owner) {
    Platform::ShowErrorBox(owner, caption + error.Message(), caption);
}

} // namespace Exceptions
} // namespace VLM
