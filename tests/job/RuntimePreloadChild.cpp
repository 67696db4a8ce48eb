// One process of a C runtime preload scenario (the preload is attempted once
// per process). Usage: child <result file> <silo> <steps...>
//   version:<major>.<minor>  the platform reports this Windows version from now on
//   preload                  appends the preload's result as "0x%08X"
//   run-preload              the preload as a run makes it, which logs its outcome
//   loaded:<path>            appends "loaded 1" when the probe library at path
//                            is loaded in this process, else "loaded 0"
//   signal:<name>, wait:<name>  set, or wait up to a minute for, a named event
// Exit code 0 when every step ran; 2 for bad usage, 3 when a wait timed out.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "job/RuntimePreload.h"
#include "ChildSteps.h"
#include "support/isolation/IsolationSettings.h"
#include "support/system/Platform.h"
#include "support/text/Utf.h"

namespace {

class VersionPlatform : public pxLib::IPlatform {
public:
    pxLib::OsVersion Version() override { return m_version; }
    bool IsLocalSystem() override { return pxLib::RealIsLocalSystem(); }
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }

    pxLib::OsVersion m_version = pxLib::RealOsVersion();
};

VersionPlatform g_platform;

int RunStep(const wchar_t* resultFile, std::wstring_view step) {
    const size_t colon = step.find(L':');
    const std::wstring_view verb = step.substr(0, colon);
    const std::wstring rest(colon == std::wstring_view::npos ? L"" : step.substr(colon + 1));
    if (verb == L"version") {
        unsigned major = 0;
        unsigned minor = 0;
        if (swscanf(rest.c_str(), L"%u.%u", &major, &minor) != 2) return 2;
        g_platform.m_version.major = major;
        g_platform.m_version.minor = minor;
        pxLib::SetPlatformForTesting(&g_platform);
        return 0;
    }
    if (verb == L"preload") {
        char text[16];
        snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(qvd::job::PreloadCRuntime()));
        return qvdtest::AppendResultLine(resultFile, text) ? 0 : 2;
    }
    if (verb == L"run-preload") {
        qvd::job::PreloadCRuntimeForRun();
        return 0;
    }
    if (verb == L"loaded") {
        const HMODULE module = GetModuleHandleW(rest.c_str());
        const bool probe = module != nullptr && GetProcAddress(module, "QvdPreloadProbe");
        return qvdtest::AppendResultLine(resultFile, probe ? "loaded 1" : "loaded 0") ? 0 : 2;
    }
    if (qvdtest::IsEventStep(verb)) return qvdtest::RunEventStep(verb, rest);
    return 2;
}

}  // namespace

int main() {
    const std::vector<std::wstring> args = qvdtest::ProgramArguments();
    if (args.size() < 3) return 2;
    pxLib::SelectProductRegistryView(pxLib::ToU16(args[2]));
    for (size_t i = 3; i < args.size(); ++i) {
        if (const int result = RunStep(args[1].c_str(), args[i])) return result;
    }
    return 0;
}
