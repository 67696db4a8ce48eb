// qvdhost's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvdhost {

struct HostOptions {
    std::wstring pluginPath;
    std::wstring jobPath;
    bool useCom = false;
    long cancelAfterMs = -1;  // -1: never cancel
    bool help = false;
    bool log = false;
    bool json = false;
    bool expectState = false;
    int32_t expectedState = 0;
    // In the child process of --log: the log file to print after the job.
    std::wstring printLogFile;
    // Every argument but --log, for that child.
    std::vector<std::wstring> childArguments;
};

constexpr const wchar_t* kUsage =
    L"usage: qvdhost [--com] [--cancel-after MS] [--log] [--json] [--expect-state N]\n"
    L"               <plugin.dll> <job.json> [host switches...]\n"
    L"       qvdhost --help\n"
    L"  Runs one install job through the plug-in and prints every sink call.\n"
    L"  --com               use the COM class instead of GetFactory\n"
    L"  --cancel-after MS   call CancelAndWait after MS milliseconds\n"
    L"  --log               switch the plug-in's debug log on for this run (the\n"
    L"                      options under the job's product key, into a fresh file),\n"
    L"                      print its lines after the job, then put the options back\n"
    L"                      as they were; the job runs in a child qvdhost, so they are\n"
    L"                      put back even when it crashes or is cancelled\n"
    L"  --json              print one JSON document instead of the text: the sink\n"
    L"                      calls and states with their times since Start, the final\n"
    L"                      state, the exit code, the duration and the DLL's version\n"
    L"  --expect-state N    exit 0 only when the final state is N\n"
    L"  --help              print this and exit 0\n"
    L"  host switches       anything after the job file (for example /noui or\n"
    L"                      /WIN10_UPGRADE value) stays on this program's command line,\n"
    L"                      where the plug-in reads it\n"
    L"Exit code: 0 when the job ended installed (states 3, 4, 5) or, with\n"
    L"--expect-state, in state N; 1 for any other final state; 2 when the job could\n"
    L"not be run.\n";

// False (with a message in error) when the arguments do not make a run.
[[nodiscard]] bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options,
                                    std::wstring& error);

}  // namespace qvdhost
