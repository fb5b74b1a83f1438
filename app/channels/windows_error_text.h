#pragma once
// Text as Windows takes it: the system's own words for an error code, and the
// program's UTF-8 text as UTF-16 and back.

#include <string>

namespace fw {

// Without the trailing line end and full stop; "error N" when the system has
// no text for the code.
std::string windowsErrorText(unsigned long code);

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const std::wstring& text);

} // namespace fw
