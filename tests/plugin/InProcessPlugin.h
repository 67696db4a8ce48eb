// The plug-in object linked into the test program, so that the platform seam
// can stand in for what Wine cannot show (LocalSystem, a declined prompt, old
// Windows versions).
#pragma once

#include "PluginTestSupport.h"
#include "support/system/Platform.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qvdtest {

class FakePlatform : public pxLib::IPlatform {
public:
    pxLib::OsVersion Version() override;
    bool IsLocalSystem() override { return localSystem; }
    // Records the verb, declines "runas" when asked to, else really launches.
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override;

    std::optional<pxLib::OsVersion> version;
    bool localSystem = false;
    // Runs just before the shell launch, after the installer was verified.
    std::function<void()> beforeShellLaunch;
    // The shell launch fails with this error instead of launching.
    DWORD shellError = ERROR_SUCCESS;
    // After a real launch: the shell hands back no process, or one that cannot
    // be waited on (no SYNCHRONIZE right).
    bool dropProcess = false;
    bool unwaitableProcess = false;
    std::vector<std::wstring> launchedFiles;
    bool declineElevation = false;
    std::vector<std::wstring> verbs;
};

// Installs the fake for the life of the object.
class ScopedFakePlatform {
public:
    ScopedFakePlatform();
    ~ScopedFakePlatform();
    FakePlatform& operator*() { return m_fake; }
    FakePlatform* operator->() { return &m_fake; }

private:
    FakePlatform m_fake;
    pxLib::IPlatform* m_previous;
};

// Module start-up for the linked-in plug-in (once per test program).
void StartLinkedModule();

// A new linked-in plug-in object (null, with a test failure, when none came).
pxLib::ComPtr<qvd::IQVDPlugin> CreateLinkedPlugin();

// Runs one job on a new linked-in plug-in object to its final state.
// exitCode, when given, receives the object's exit code at the end.
int32_t RunLinkedJob(const std::wstring& job, std::vector<SinkCall>& calls,
                     uint32_t* exitCode = nullptr);

// The arguments a started program received: its command line without the
// program word (quoted or not) and the one blank after it.
std::wstring ArgumentsOf(const std::wstring& commandLine);

}  // namespace qvdtest
