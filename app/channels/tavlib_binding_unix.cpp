#include "channels/tavlib_binding_loader.h"

#include <dlfcn.h>

namespace fw::detail {

const char* libraryFileName()
{
    return "libTAVLIB.so";
}

// The library stays mapped until the process ends (RTLD_NODELETE): it keeps
// its own C++ runtime, whose memory must not be torn away under it.
Result<void*> loadLibrary(const std::string& folder, const std::string& fileName)
{
    void* library = nullptr;
    std::string besideError;
    if (!folder.empty()) {
        const std::string beside = folder + "/" + fileName;
        library = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (library)
            return library;
        if (const char* e = ::dlerror())
            besideError = e;
    }
    library = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library)
        return library;
    const char* e = ::dlerror();
    // A library beside the program that fails to load says more than "not
    // found on the search path".
    if (besideError.find("No such file") == std::string::npos && !besideError.empty())
        return Result<void*>::failure(besideError);
    return Result<void*>::failure(e ? e : "not found");
}

Result<void*> findExport(void* library, const char* name)
{
    ::dlerror();
    if (void* address = ::dlsym(library, name))
        return address;
    const char* e = ::dlerror();
    return Result<void*>::failure(e ? e : "not exported");
}

void unloadLibrary(void* library)
{
    if (library)
        ::dlclose(library);
}

} // namespace fw::detail
