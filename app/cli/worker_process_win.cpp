#include "cli/worker_process.h"

#include "cli/console.h"

#include "base/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <thread>

namespace fw {

struct WorkerProcess::Handles {
    HANDLE process = nullptr;
    HANDLE in = nullptr, out = nullptr, err = nullptr;

    ~Handles()
    {
        for (const HANDLE h : {in, out, err, process})
            if (h)
                CloseHandle(h);
    }
};

namespace {

// One argument as the program's command-line parser takes it back.
std::wstring quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::size_t readSome(HANDLE pipe, std::span<char> into)
{
    DWORD n = 0;
    if (!ReadFile(pipe, into.data(), static_cast<DWORD>(into.size()), &n, nullptr))
        return 0;
    return n;
}

std::wstring ownProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

Result<std::unique_ptr<WorkerProcess>> WorkerProcess::start(const std::vector<std::string>& args)
{
    using Started = Result<std::unique_ptr<WorkerProcess>>;
    const std::wstring program = ownProgram();
    if (program.empty())
        return Started::failure("the program's own file cannot be told");
    auto handles = std::make_unique<Handles>();
    // The child's ends are inherited; this process's ends are not, so no
    // other worker holds this one's input open. Workers are started from one
    // thread, so no other start inherits these ends meanwhile.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
    const bool piped = CreatePipe(&childIn, &handles->in, &inherit, 0) &&
                       CreatePipe(&handles->out, &childOut, &inherit, 0) &&
                       CreatePipe(&handles->err, &childErr, &inherit, 0);
    const auto closeChildEnds = [&] {
        for (const HANDLE h : {childIn, childOut, childErr})
            if (h)
                CloseHandle(h);
    };
    if (!piped) {
        closeChildEnds();
        return Started::failure("no pipe for the worker (error " + std::to_string(GetLastError()) +
                                ")");
    }
    for (const HANDLE h : {handles->in, handles->out, handles->err})
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);

    std::wstring line = quoted(program);
    for (const std::string& a : args)
        line += L" " + quoted(wideFromUtf8(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = childErr;
    PROCESS_INFORMATION info{};
    // A console of its own, without a window: Ctrl+C on this one's console
    // reaches only this process, which passes it on.
    const BOOL created = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr,
                                        nullptr, &startup, &info);
    const DWORD error = GetLastError();
    closeChildEnds();
    if (!created)
        return Started::failure("the program could not be started again (error " +
                                std::to_string(error) + ")");
    CloseHandle(info.hThread);
    handles->process = info.hProcess;
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(std::move(handles)));
}

WorkerProcess::WorkerProcess(std::unique_ptr<Handles> handles) : h_(std::move(handles)) {}

WorkerProcess::~WorkerProcess() = default;

bool WorkerProcess::write(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        DWORD n = 0;
        if (!WriteFile(h_->in, bytes.data(), chunk, &n, nullptr) || n == 0)
            return false;
        bytes = bytes.subspan(n);
    }
    return true;
}

std::size_t WorkerProcess::readOutput(std::span<char> into)
{
    return readSome(h_->out, into);
}

std::size_t WorkerProcess::readErrors(std::span<char> into)
{
    return readSome(h_->err, into);
}

int WorkerProcess::wait()
{
    WaitForSingleObject(h_->process, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(h_->process, &code);
    return static_cast<int>(code);
}

void WorkerProcess::requestEnd()
{
    static constexpr std::uint8_t kRequest = 'S';
    (void)write(std::span(&kRequest, 1));
}

void WorkerProcess::kill()
{
    TerminateProcess(h_->process, 1);
}

bool readFromStation(std::span<std::uint8_t> into)
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (!into.empty()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1 << 20));
        if (!ReadFile(in, into.data(), want, &n, nullptr) || n == 0)
            return false;
        into = into.subspan(n);
    }
    return true;
}

void takeRequestsFromStation()
{
    // Each byte after the package is a request, and so is the end of the
    // pipe: the station is gone.
    std::thread([] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        for (;;) {
            char request = 0;
            DWORD n = 0;
            const bool read = ReadFile(in, &request, 1, &n, nullptr) && n == 1;
            requestEnd();
            if (!read)
                return;
        }
    }).detach();
}

} // namespace fw
