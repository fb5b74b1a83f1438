#include "channels/tavlib_binding_loader.h"

#include <dlfcn.h>

namespace fw::detail {

const char* libraryFileName() { return "libTAVLIB.so"; }

// The library stays mapped until the process ends (RTLD_NODELETE): it keeps
// its own C++ runtime, whose memory must not be torn away under it.
void* loadLibrary(const std::string& folder, const std::string& fileName, std::string& why) {
    std::string besideError;
    if (!folder.empty()) {
        const std::string beside = folder + "/" + fileName;
        if (void* h = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) return h;
        if (const char* e = ::dlerror()) besideError = e;
    }
    if (void* h = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) return h;
    const char* e = ::dlerror();
    why = e ? e : "not found";
    // A library beside the program that fails to load says more than "not
    // found on the search path".
    if (besideError.find("No such file") == std::string::npos && !besideError.empty())
        why = besideError;
    return nullptr;
}

void* findExport(void* library, const char* name, std::string& why) {
    ::dlerror();
    void* f = ::dlsym(library, name);
    if (!f) {
        const char* e = ::dlerror();
        why = e ? e : "not exported";
    }
    return f;
}

void unloadLibrary(void* library) {
    if (library) ::dlclose(library);
}

} // namespace fw::detail
