// The settings file where there are no profile functions: read and rewritten
// whole by the profile (INI) text rules.

#include "settings/settings_store.h"

#include "settings/ini_text.h"
#include "settings/settings_file.h"

namespace fw {

std::string settingsFilePath(const std::string& programDir)
{
    return programDir + "/" + kSettingsFileName;
}

std::string readSetting(const std::string& filePath, const std::string& key)
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

void writeSetting(const std::string& filePath, const std::string& key, const std::string& value)
{
    try {
        const SettingsFileRead file = readSettingsFile(filePath);
        if (file.exists && !file.complete)
            return; // rewriting from a part would lose the rest
        replaceSettingsFile(filePath,
                            iniReplace(file.bytes, kSettingsSection, key, value, nativeLineEnd()));
    } catch (...) {
        // Settings that cannot be stored are not reported.
    }
}

} // namespace fw
