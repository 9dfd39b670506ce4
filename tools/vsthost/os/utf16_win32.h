// UTF-8 <-> UTF-16 for the wide Windows API: the tool keeps every path and text in UTF-8.
#pragma once

#include "common/text_format.h"

#include <string>

namespace VLM {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

} // namespace VLM
