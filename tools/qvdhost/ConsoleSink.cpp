#include "ConsoleSink.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace qvdhost {
namespace {
std::mutex g_printLock;
}

void PrintLine(const wchar_t* format, ...) {
    wchar_t line[2048];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, sizeof(line) / sizeof(line[0]) - 1, format, args);
    va_end(args);
    line[sizeof(line) / sizeof(line[0]) - 1] = L'\0';
    // UTF-8 on stdout so that any console or pipe shows the text.
    const std::wstring text = std::wstring(line) + L"\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    std::lock_guard<std::mutex> guard(g_printLock);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

const wchar_t* StateMeaning(int32_t state) {
    switch (state) {
        case 0:
            return L"created, never started";
        case 2:
            return L"running";
        case 3:
            return L"finished, the product is installed";
        case 4:
            return L"finished, the installer started a reboot";
        case 5:
            return L"finished, a reboot is required or still pending";
        case 6:
            return L"cancelled, declined, or finished without the product installed";
        case 7:
            return L"the installer ended with a code of state 7";
        case 8:
            return L"the installer ended with a reported code";
        case 10:
            return L"the installer ended with exit code 0x80047C10";
        case -1:
            return L"failed: no usable job, no installer process, or an unknown failure";
        case -2:
            return L"failed before or while starting the installer";
        case -3:
            return L"the installer failed with a reported code";
        default:
            return L"unknown state";
    }
}

const wchar_t* StatusMeaning(int32_t status) {
    switch (status) {
        case 4:
            return L"installer started, waiting for it";
        case 15:
            return L"waiting for an installer or update already running";
        case 16:
            return L"product found installed after waiting";
        case 17:
            return L"product already installed";
        case 18:
            return L"elevation declined, or the installer declined";
        case -3:
            return L"job failed";
        default:
            return L"unknown status";
    }
}

void ConsoleSink::ReportError(int32_t code, const wchar_t* location) {
    PrintLine(L"sink: ReportError(0x%08X, %ls)", static_cast<unsigned>(code),
              location ? location : L"(null)");
}

void ConsoleSink::ReportStatus(int32_t status) {
    PrintLine(L"sink: ReportStatus(%d) - %ls", status, StatusMeaning(status));
}

}  // namespace qvdhost
