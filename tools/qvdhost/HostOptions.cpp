#include "HostOptions.h"

#include <climits>
#include <cstdint>
#include <cwchar>

namespace qvdhost {
namespace {

// The child of --log is told where the log goes; users do not pass it.
constexpr wchar_t kPrintLogOption[] = L"--print-log";

// A decimal number within [low, high].
bool ReadNumber(const wchar_t* text, long long low, long long high, long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 10);
    return end != text && *end == L'\0' && value >= low && value <= high;
}

}  // namespace

bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options, std::wstring& error) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool takesValue =
            arg == L"--cancel-after" || arg == L"--expect-state" || arg == kPrintLogOption;
        if (takesValue && i + 1 >= argc) {
            error = arg + L" needs a value";
            return false;
        }
        if (arg != L"--log") options.childArguments.push_back(arg);
        if (arg == L"--com") {
            options.useCom = true;
        } else if (arg == L"--help") {
            options.help = true;
            return true;
        } else if (arg == L"--log") {
            options.log = true;
        } else if (arg == L"--json") {
            options.json = true;
        } else if (arg == L"--cancel-after") {
            long long ms = 0;
            if (!ReadNumber(argv[++i], 0, LONG_MAX, ms)) {
                error = L"--cancel-after needs a number of milliseconds";
                return false;
            }
            options.cancelAfterMs = static_cast<long>(ms);
            options.childArguments.push_back(argv[i]);
        } else if (arg == L"--expect-state") {
            long long state = 0;
            if (!ReadNumber(argv[++i], INT32_MIN, INT32_MAX, state)) {
                error = L"--expect-state needs a state number";
                return false;
            }
            options.expectState = true;
            options.expectedState = static_cast<int32_t>(state);
            options.childArguments.push_back(argv[i]);
        } else if (arg == kPrintLogOption) {
            options.printLogFile = argv[++i];
            options.childArguments.push_back(argv[i]);
        } else if (arg.rfind(L"--", 0) == 0) {
            error = L"unknown option " + arg;
            return false;
        } else {
            options.childArguments.pop_back();
            break;
        }
    }
    if (argc - i < 2) {
        error = L"a plug-in DLL and a job file are needed";
        return false;
    }
    options.pluginPath = argv[i];
    options.jobPath = argv[i + 1];
    for (; i < argc; ++i) options.childArguments.push_back(argv[i]);
    return true;
}

}  // namespace qvdhost
