#pragma once
// The settings file Firmware.ini, one key at a time in the section
// "PRINTFirmware", read and written with the behaviour of the Windows profile
// functions, so a file written by either side reads the same on the other.
// On Windows they are the profile functions, and the file holds the text in
// the system's 8-bit code page; the program's own text is UTF-8 throughout.

#include "base/result.h"

#include <cstddef>
#include <string>

namespace fw {

inline constexpr const char* kSettingsSection = "PRINTFirmware";
inline constexpr const char* kSettingsFileName = "Firmware.ini";

// Keys of the settings file.
inline constexpr const char* kKeyInterface = "Interface";
inline constexpr const char* kKeyInterfaceSel = "InterfaceSel";
inline constexpr const char* kKeyBaudRate = "BaudRate";
inline constexpr const char* kKeyBitLength = "BitLength";
inline constexpr const char* kKeyParity = "Parity";
inline constexpr const char* kKeyStopBit = "StopBit";
inline constexpr const char* kKeyHandShake = "HandShake";
inline constexpr const char* kKeyTcpIp = "TcpIp";

// The most characters a value read can have.
inline constexpr std::size_t kIniValueMax = 254;

// The settings file in the program's folder.
std::string settingsFilePath(const std::string& programDir);

// The key's value, without the blanks around it, cut to its first 254
// characters; the empty text when the file, the section or the key is
// missing or the file cannot be read.
std::string readSetting(const std::string& filePath, const std::string& key);

// Sets key=value, creating the file, the section or the key as needed and
// keeping every other line of the file as it was. A file that cannot be
// written is left as it was; the caller decides whether to say so.
Result<> writeSetting(const std::string& filePath, const std::string& key,
                      const std::string& value);

} // namespace fw
