#include "window/nvimg_mod.h"

#include "window/ini_text.h"
#include "window/settings_file_io.h"

namespace fw {

std::string settingsFilePath(const std::string& programDir)
{
    return programDir + "/" + kSettingsFileName;
}

std::string ReadIniValue(const std::string& filePath, const std::string& key)
{
    try {
        const SettingsFileRead file = readSettingsFile(filePath);
        std::string value = iniLookup(file.bytes, kSettingsSection, key);
        // The profile functions hand values over as C strings: a NUL in a
        // damaged file ends the value there.
        const auto nul = value.find('\0');
        if (nul != std::string::npos)
            value.resize(nul);
        if (value.size() > kIniValueMax)
            value.resize(kIniValueMax);
        return value;
    } catch (...) {
        // Out of memory on a damaged file: the key counts as missing.
        return {};
    }
}

void WriteIniValue(const std::string& filePath, const std::string& key, const std::string& value)
{
    try {
        const SettingsFileRead file = readSettingsFile(filePath);
        if (file.exists && !file.complete)
            return; // rewriting from a part would lose the rest
        replaceSettingsFile(filePath, iniReplace(file.bytes, kSettingsSection, key, value, nativeLineEnd()));
    } catch (...) {
        // Settings that cannot be stored are not reported.
    }
}

} // namespace fw
