// The error box's text on the standard error stream, shared by the Linux backends.
#pragma once

#include <string>

namespace VLM {
namespace Platform {

// "[caption]", a line feed, the text with its "\r\n" line ends as bare line feeds.
void WriteErrorToStderr(const std::wstring& text, const std::wstring& caption);

} // namespace Platform
} // namespace VLM
