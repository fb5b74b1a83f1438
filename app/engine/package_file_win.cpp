#include "engine/package_file.h"

#include "base/wide_text.h"

#include <io.h>
#include <windows.h>

namespace fw {

std::FILE* FilePackageReader::openPlainFile(const std::string& path, bool& notAFile)
{
    notAFile = false;
    const std::wstring wide = wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        notAFile = true;
        return nullptr;
    }
    std::FILE* file = ::_wfopen(wide.c_str(), L"rb");
    // A device under the name (COM1, CON, a pipe) is not a package.
    if (file && GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)))) !=
                    FILE_TYPE_DISK) {
        std::fclose(file);
        notAFile = true;
        return nullptr;
    }
    return file;
}

std::int64_t FilePackageReader::endOffset(std::FILE* file)
{
    return static_cast<std::int64_t>(::_ftelli64(file));
}

} // namespace fw
