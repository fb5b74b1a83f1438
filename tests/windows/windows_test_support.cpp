#include "windows_test_support.h"

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fw::test {

namespace {

using namespace std::chrono_literals;

std::string serviceFolderOrEmpty()
{
    const char* dir = std::getenv("FW_PRINTER_SERVICE");
    return dir && *dir ? fromUnixPath(dir) : std::string();
}

std::string request(const std::vector<std::string>& words)
{
    const std::string dir = PrinterService::folder();
    std::string text;
    for (const std::string& w : words)
        text += w + '\0';
    writeFile(dir + "\\request.tmp", text);
    if (!MoveFileExW(wide(dir + "\\request.tmp").c_str(), wide(dir + "\\request").c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        throw std::runtime_error("cannot hand the request to the printer service");
    const std::wstring reply = wide(dir + "\\reply");
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
        if (GetFileAttributesW(reply.c_str()) != INVALID_FILE_ATTRIBUTES) {
            const std::string answer = readFile(dir + "\\reply");
            DeleteFileW(reply.c_str());
            return answer;
        }
        std::this_thread::sleep_for(10ms);
    }
    throw std::runtime_error("the printer service did not answer " + words.front());
}

std::wstring quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
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

void drain(HANDLE pipe, std::string& into)
{
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0)
        into.append(buf, n);
}

} // namespace

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(std::filesystem::path(wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(wide(path)), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string fromUnixPath(const std::string& path)
{
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

TestFolder::TestFolder(const std::string& name)
{
    std::string base = serviceFolderOrEmpty();
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        base = utf8(temp);
        if (!base.empty() && base.back() == '\\')
            base.pop_back();
    }
    for (unsigned n = GetCurrentProcessId();; ++n) {
        path_ = base + "\\" + name + "-" + std::to_string(n);
        if (CreateDirectoryW(wide(path_).c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot make the folder " + path_);
    }
}

TestFolder::~TestFolder()
{
    // Double NUL-terminated, as the shell wants it.
    std::wstring from = wide(path_);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

bool PrinterService::available(std::string& why)
{
    if (!serviceFolderOrEmpty().empty())
        return true;
    why = "run under tests/windows/printer_service.sh (FW_PRINTER_SERVICE is not set)";
    return false;
}

std::string PrinterService::folder()
{
    const std::string dir = serviceFolderOrEmpty();
    if (dir.empty())
        throw std::runtime_error("no printer service: run under tests/windows/printer_service.sh");
    return dir;
}

void PrinterService::start(const std::vector<std::string>& options, int com)
{
    std::vector<std::string> words{"start", "--com", std::to_string(com)};
    words.insert(words.end(), options.begin(), options.end());
    const std::string answer = request(words);
    if (answer != "ready")
        throw std::runtime_error("the printer simulator did not start: " + answer);
}

Bytes PrinterService::stop(int com)
{
    request({"stop", "--com", std::to_string(com)});
    const std::string bytes = readFile(folder() + "\\capture-" + std::to_string(com) + ".bin");
    return Bytes(bytes.begin(), bytes.end());
}

std::string PrinterService::line()
{
    return request({"line"});
}

std::string PrinterService::printShareFile()
{
    return folder() + "\\lp1";
}

std::string ProgramRun::lastLine() const
{
    std::string s = out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    const auto nl = s.rfind('\n');
    return nl == std::string::npos ? s : s.substr(nl + 1);
}

ProgramRun runProgram(const std::string& exe, const std::vector<std::string>& args)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("cannot make pipes");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = quoted(wide(exe));
    for (const std::string& a : args)
        commandLine += L" " + quoted(wide(a));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    ProgramRun run;
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("cannot start " + exe);
    }
    std::thread errReader([&] { drain(errRead, run.err); });
    drain(outRead, run.out);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 999);
    errReader.join();
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    run.code = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}

} // namespace fw::test
