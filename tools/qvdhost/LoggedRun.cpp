#include "LoggedRun.h"

#include "DebugLogSwitch.h"
#include "HostReport.h"
#include "VersionResource.h"
#include "support/cmdline/QuotedArgument.h"
#include "support/system/UniqueHandle.h"

#include <cstdio>

namespace qvdhost {
namespace {

// The largest log this host reads back.
constexpr LONGLONG kMaxLogBytes = 64ll * 1024 * 1024;

// Starts this program again on the same job and waits for it; false when it
// could not be started.
bool RunChild(const HostOptions& options, const std::wstring& logFile, DWORD& exitCode) {
    std::wstring self;
    if (!ModulePath(nullptr, self)) return false;
    std::wstring commandLine =
        pxLib::QuotedArgument(self) + L" --print-log " + pxLib::QuotedArgument(logFile);
    for (const std::wstring& arg : options.childArguments)
        commandLine += L" " + pxLib::QuotedArgument(arg);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    pxLib::ProcessInformation child;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, child.put()))
        return false;
    return WaitForSingleObject(child.process(), INFINITE) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(child.process(), &exitCode);
}

}  // namespace

bool ReadLogLines(const std::wstring& path, std::vector<std::wstring>& lines) {
    lines.clear();
    // The plug-in may still hold the file open for writing.
    pxLib::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 2 ||
        size.QuadPart > kMaxLogBytes)
        return false;
    std::wstring text(static_cast<size_t>(size.QuadPart / 2), L'\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * 2), &read, nullptr) ||
        read < 2 || text[0] != 0xFEFF)
        return false;
    text.resize(read / 2);
    for (size_t start = 1; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

int RunWithDebugLog(const HostOptions& options, const std::wstring& jobText) {
    std::wstring silo, logFile, error;
    if (!JobSilo(jobText, silo)) {
        fwprintf(stderr,
                 L"qvdhost: --log needs the job's product_data.silo: the plug-in reads "
                 L"its debug options beneath that product's key\n");
        return 2;
    }
    DebugLogSwitch debugLog;
    if (!debugLog.SwitchOn(silo, logFile, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n", error.c_str());
        return 2;
    }
    // Ctrl+C ends the child; this process stays to put the options back.
    SetConsoleCtrlHandler(nullptr, TRUE);
    DWORD exitCode = 2;
    const bool ran = RunChild(options, logFile, exitCode);
    debugLog.Restore();
    if (!ran) {
        fwprintf(stderr, L"qvdhost: cannot run the job in a child process (error %lu)\n",
                 GetLastError());
        return 2;
    }
    if (exitCode <= 2) return static_cast<int>(exitCode);
    // The child did not get to print the log: this process does.
    fwprintf(stderr,
             L"qvdhost: the job's process ended with 0x%08lX; the debug options are "
             L"back as they were\n",
             exitCode);
    std::vector<std::wstring> lines;
    // None when the job ended before it logged.
    static_cast<void>(ReadLogLines(logFile, lines));
    HostReport(false).LogLines(logFile, lines);
    return 2;
}

}  // namespace qvdhost
