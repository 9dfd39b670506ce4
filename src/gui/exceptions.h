// The failures of the platform services that the editor reports to the user. Each class
// composes its whole message in its constructor; the catch sites show it with ShowError.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace VLM {

// Title of every error box: product, a blank, version.
extern const wchar_t* const kErrorCaption;

namespace Exceptions {

class Std : public std::exception {
public:
    Std(const std::wstring& message, const std::wstring& title);
    ~Std() override = default;
    Std(const Std&) = default;
    Std& operator=(const Std&) = default;

    // The family's texts are wide; the narrow text only says that one exists.
    const char* what() const noexcept override;
    const std::wstring& Message() const { return message; }

protected:
    std::wstring message;
};

class StdFunc : public Std {
public:
    StdFunc(const std::wstring& function, std::int32_t error, const std::wstring& title);
};

class OGL : public Std {
public:
    OGL(const std::wstring& function, std::int32_t error);
};

class OGLTexImage2D : public OGL {
public:
    OGLTexImage2D(const std::wstring& image, std::int32_t width, std::int32_t height,
                  std::int32_t error);
};

class GDIP : public Std {
public:
    GDIP(const std::wstring& function, std::int32_t status);
};

class GDIPImage : public GDIP {
public:
    GDIPImage(const std::wstring& image, std::int32_t width, std::int32_t height,
              std::int32_t status);
};

// Decimal text of value, or with hex "0x" and the lower-case digits of value read as an
// unsigned 32-bit number.
std::wstring ToText(std::int32_t value, bool hex = false);

// Text of the system's 8-bit code page as wide text; empty for null or unconvertible text.
std::wstring AnsiToWide(const char* text);

// The missing-resource failure.
Std ResourceError(const std::wstring& name, const std::wstring& type);

// Modal error box: caption followed by the message as text, caption as title. [UI thread]
void ShowError(const Std& error, const std::wstring& caption, void* owner = nullptr);

} // namespace Exceptions
} // namespace VLM
