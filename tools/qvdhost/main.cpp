// qvdhost: the reference host of the install plug-in.
#include "HostOptions.h"
#include "HostReport.h"
#include "JobFile.h"
#include "LoggedRun.h"
#include "PluginDriver.h"
#include "QVDHostInterface.h"

#include <cstdio>

namespace {

// Installed, with or without a reboot.
bool EndedInstalled(int32_t state) {
    return state == qvd::QVD_STATE_INSTALLED || state == qvd::QVD_STATE_REBOOTING ||
           state == qvd::QVD_STATE_REBOOT_REQUIRED;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    qvdhost::HostOptions options;
    std::wstring error;
    if (!qvdhost::ParseHostOptions(argc, argv, options, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n%ls", error.c_str(), qvdhost::kUsage);
        return 2;
    }
    if (options.help) {
        qvdhost::PrintLine(L"%ls", qvdhost::kUsage);
        return 0;
    }
    std::wstring job;
    if (!qvdhost::ReadJobFile(options.jobPath, job, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n", error.c_str());
        return 2;
    }
    if (options.log) return qvdhost::RunWithDebugLog(options, job);

    qvdhost::HostReport report(options.json);
    report.Note(L"running %ls with %ls (%ls path)", options.jobPath.c_str(),
                options.pluginPath.c_str(), options.useCom ? L"COM" : L"host-model");
    qvdhost::JobOutcome outcome;
    if (!qvdhost::RunJob(options, job, outcome, report, error)) {
        fwprintf(stderr, L"qvdhost: %ls\n", error.c_str());
        return 2;
    }
    report.Final(outcome.state, outcome.exitCode);
    if (!options.printLogFile.empty()) {
        std::vector<std::wstring> lines;
        // A run that logged nothing has no lines to print.
        static_cast<void>(qvdhost::ReadLogLines(options.printLogFile, lines));
        report.LogLines(options.printLogFile, lines);
    }
    report.PrintDocument();
    const bool expected = options.expectState ? outcome.state == options.expectedState
                                              : EndedInstalled(outcome.state);
    return expected ? 0 : 1;
}
