// qvdhost's command line.
#pragma once

#include <string>

namespace qvdhost {

struct HostOptions {
    std::wstring pluginPath;
    std::wstring jobPath;
    bool useCom = false;
    long cancelAfterMs = -1;  // -1: never cancel
};

constexpr const wchar_t* kUsage =
    L"usage: qvdhost [--com] [--cancel-after MS] <plugin.dll> <job.json> [host switches...]\n"
    L"  Runs one install job through the plug-in and prints every sink call.\n"
    L"  --com               use the COM class instead of GetFactory\n"
    L"  --cancel-after MS   call CancelAndWait after MS milliseconds\n"
    L"  host switches       anything after the job file (for example /noui or\n"
    L"                      /WIN10_UPGRADE value) stays on this program's command line,\n"
    L"                      where the plug-in reads it\n"
    L"Exit code: 0 when the job ended installed (states 3, 4, 5), 1 for any other final\n"
    L"state, 2 when the job could not be run.\n";

// False (with a message in error) when the arguments do not make a run.
bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options, std::wstring& error);

}  // namespace qvdhost
