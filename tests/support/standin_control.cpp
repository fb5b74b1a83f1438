#include "standin_control.h"

#include <dlfcn.h>
#include <filesystem>

namespace fw::test {

namespace {

template <typename Fn>
void find(void* handle, const char* name, Fn& fn, std::string& error)
{
    fn = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (!fn && error.empty())
        error = std::string("the stand-in has no ") + name;
}

} // namespace

std::string StandinTavlib::file()
{
    return STANDIN_TAVLIB_FILE;
}

std::string StandinTavlib::folder()
{
    return std::filesystem::path(STANDIN_TAVLIB_FILE).parent_path().string();
}

StandinTavlib::StandinTavlib(const std::string& file)
{
    // Never closed: the program's binding keeps the same copy mapped.
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = ::dlerror();
        error_ = "cannot load " + file + ": " + (why ? why : "?");
        return;
    }
    find(handle, "standin_tavlib_reset", reset_, error_);
    find(handle, "standin_tavlib_set_result", setResult_, error_);
    find(handle, "standin_tavlib_set_printers", setPrinters_, error_);
    find(handle, "standin_tavlib_set_reply", setReply_, error_);
    find(handle, "standin_tavlib_log", log_, error_);
    find(handle, "standin_tavlib_read_buffer_was_blank", readBufferWasBlank_, error_);
    if (error_.empty())
        reset();
}

void StandinTavlib::reset()
{
    if (reset_)
        reset_();
}

void StandinTavlib::setResult(Export e, std::int32_t result)
{
    if (setResult_)
        setResult_(e, result);
}

void StandinTavlib::setPrinters(std::int32_t count)
{
    if (setPrinters_)
        setPrinters_(count);
}

void StandinTavlib::setReply(const std::vector<std::uint8_t>& bytes, std::int32_t count)
{
    if (setReply_)
        setReply_(bytes.data(), static_cast<std::int32_t>(bytes.size()), count);
}

std::string StandinTavlib::log() const
{
    return log_ ? log_() : std::string();
}

bool StandinTavlib::readBufferWasBlank() const
{
    return readBufferWasBlank_ && readBufferWasBlank_() != 0;
}

std::string systemLibraryOf(const char* library, const char* symbol)
{
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return {};
    Dl_info info{};
    void* address = ::dlsym(handle, symbol);
    std::string path;
    if (address && ::dladdr(address, &info) && info.dli_fname) {
        std::error_code ec;
        path = std::filesystem::canonical(info.dli_fname, ec).string();
    }
    ::dlclose(handle);
    return path;
}

} // namespace fw::test
