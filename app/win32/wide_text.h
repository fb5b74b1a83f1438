#pragma once
// Text crosses to the system as UTF-16; the program keeps UTF-8.

#include <string>

namespace fw {

std::wstring toWide(const std::string& utf8);
std::string fromWide(const std::wstring& wide);
std::string fromWide(const wchar_t* wide);

} // namespace fw
