// qvdhost: the reference host of the install plug-in.
#include "ConsoleSink.h"
#include "HostOptions.h"
#include "JobFile.h"
#include "PluginDriver.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    qvdhost::HostOptions options;
    std::wstring error;
    if (!qvdhost::ParseHostOptions(argc, argv, options, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n%ls", error.c_str(), qvdhost::kUsage);
        return 2;
    }
    std::wstring job;
    if (!qvdhost::ReadJobFile(options.jobPath, job, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n", error.c_str());
        return 2;
    }
    qvdhost::PrintLine(L"host: running %ls with %ls (%ls path)", options.jobPath.c_str(),
                       options.pluginPath.c_str(), options.useCom ? L"COM" : L"host-model");
    qvdhost::JobOutcome outcome;
    if (!qvdhost::RunJob(options, job, outcome, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n", error.c_str());
        return 2;
    }
    qvdhost::PrintLine(L"final state: %d - %ls", outcome.state,
                       qvdhost::StateMeaning(outcome.state));
    qvdhost::PrintLine(L"exit code: 0x%08X", outcome.exitCode);
    const bool installed = outcome.state == 3 || outcome.state == 4 || outcome.state == 5;
    return installed ? 0 : 1;
}
