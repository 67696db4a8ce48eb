#include "InProcessPlugin.h"

#include "plugin/ModuleLifetime.h"
#include "plugin/QVDPluginFactory.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <mutex>

namespace qvdtest {

pxLib::OsVersion FakePlatform::Version() {
    return version ? *version : pxLib::RealOsVersion();
}

BOOL FakePlatform::ExecuteWithShell(SHELLEXECUTEINFOW* info) {
    verbs.push_back(info->lpVerb ? info->lpVerb : L"");
    launchedFiles.push_back(info->lpFile ? info->lpFile : L"");
    if (beforeShellLaunch) beforeShellLaunch();
    if (declineElevation && info->lpVerb && std::wstring(info->lpVerb) == L"runas") {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    if (shellError != ERROR_SUCCESS) {
        SetLastError(shellError);
        return FALSE;
    }
    if (!ShellExecuteExW(info)) return FALSE;
    pxLib::UniqueHandle process(info->hProcess);
    info->hProcess = nullptr;
    if (dropProcess) return TRUE;
    if (unwaitableProcess) {
        DuplicateHandle(GetCurrentProcess(), process.get(), GetCurrentProcess(), &info->hProcess,
                        PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
        return TRUE;
    }
    info->hProcess = process.release();
    return TRUE;
}

ScopedFakePlatform::ScopedFakePlatform() : m_previous(pxLib::SetPlatformForTesting(&m_fake)) {}
ScopedFakePlatform::~ScopedFakePlatform() {
    pxLib::SetPlatformForTesting(m_previous);
}

void StartLinkedModule() {
    static std::once_flag once;
    std::call_once(once, [] { qvd::plugin::ModuleStartup(GetModuleHandleW(nullptr)); });
}

pxLib::ComPtr<qvd::IQVDPlugin> CreateLinkedPlugin() {
    StartLinkedModule();
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    EXPECT_EQ(qvd::plugin::GetPluginFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void()),
              qvd::OBJ_OK);
    if (!factory) return {};
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    EXPECT_EQ(factory->CreateInstance(qvd::IID_IQVDPlugin, plugin.put_void()), 0);
    return plugin;
}

int32_t RunLinkedJob(const std::wstring& job, std::vector<SinkCall>& calls, uint32_t* exitCode) {
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = CreateLinkedPlugin();
    if (!plugin) return 0;
    RecordingSink sink;
    EXPECT_EQ(plugin->Start(job.c_str(), &sink), S_OK);
    const int32_t state = WaitForFinalState(plugin);
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    if (exitCode) *exitCode = plugin->GetExitCode();
    plugin.reset();
    calls = sink.Calls();
    return state;
}

std::wstring ArgumentsOf(const std::wstring& commandLine) {
    size_t end;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        end = commandLine.find(L'"', 1);
        end = end == std::wstring::npos ? commandLine.size() : end + 1;
    } else {
        end = commandLine.find(L' ');
        if (end == std::wstring::npos) end = commandLine.size();
    }
    if (end < commandLine.size() && commandLine[end] == L' ') ++end;
    return commandLine.substr(end);
}

}  // namespace qvdtest
