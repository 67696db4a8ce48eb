#include "HostOptions.h"

#include <cwchar>

namespace qvdhost {

bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options, std::wstring& error) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--com") {
            options.useCom = true;
        } else if (arg == L"--cancel-after") {
            if (i + 1 >= argc) {
                error = L"--cancel-after needs a number of milliseconds";
                return false;
            }
            wchar_t* end = nullptr;
            options.cancelAfterMs = std::wcstol(argv[++i], &end, 10);
            if (*end != L'\0' || options.cancelAfterMs < 0) {
                error = L"--cancel-after needs a number of milliseconds";
                return false;
            }
        } else if (arg.rfind(L"--", 0) == 0) {
            error = L"unknown option " + arg;
            return false;
        } else {
            break;
        }
    }
    if (argc - i < 2) {
        error = L"a plug-in DLL and a job file are needed";
        return false;
    }
    options.pluginPath = argv[i];
    options.jobPath = argv[i + 1];
    return true;
}

}  // namespace qvdhost
