#pragma once
// Windows: text crosses to the system as UTF-16; the program keeps UTF-8.

#include <string>

namespace fw {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const std::wstring& text);
// A NUL-terminated text from the system; nullptr gives the empty text.
std::string utf8FromWide(const wchar_t* text);

} // namespace fw
