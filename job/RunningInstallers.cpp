#include "job/RunningInstallers.h"

#include "job/InstStubPath.h"
#include "launch/FileExists.h"
#include "support/logging/Log.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace qvd::job {

RunningInstallers::RunningInstallers(const JobReader& reader, RunReporter& reporter,
                                     HANDLE cancelEvent)
    : m_reader(reader), m_processWait(reporter, cancelEvent) {}

bool RunningInstallers::waitForRunningInstallers(const std::wstring& installerPath,
                                                 uint32_t& exitCode) {
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1673) : installerPath=%s",
        installerPath);
    if (m_processWait.waitForProcess(installerPath, exitCode)) return true;
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1680) : Setup process not "
        L"running, checking for InstStub");
    // A job without an install cache never looks for an earlier installation,
    // not even in RunOnce.
    if (!m_reader.HasInstallCache()) return false;
    if (waitForRecordedInstStub(exitCode)) return true;
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1709) : Check runonce registry");
    return waitForRunOnceInstStub(exitCode);
}

bool RunningInstallers::waitForRecordedInstStub(uint32_t& exitCode) {
    pxLib::RegistryKey recorded;
    if (!recorded.Open(HKEY_CURRENT_USER, kInstStubKey, KEY_READ)) return false;
    std::u16string jobId;
    m_reader.JobId(jobId);
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1693) : Read InstStub path from "
        L"value %s",
        jobId);
    std::wstring stub;
    const bool read = recorded.QueryString(pxLib::AsWide(jobId), stub);
    if (!read) stub.clear();
    recorded.Close();
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1698) : InstStub path  %s", stub);
    return read && launch::FileExists(stub) == S_OK && m_processWait.waitForProcess(stub, exitCode);
}

bool RunningInstallers::waitForRunOnceInstStub(uint32_t& exitCode) {
    if (!m_reader.HasRunKey()) return false;
    std::wstring stub;
    if (!ReadRunOnceCommandPath(m_reader.RunKey(), stub)) return false;
    pxLib::LogInformation(
        L"qvd::plugin::QVDPluginImpl::waitForRunningInstallers(1718) : InstStub from runonce %s",
        stub);
    return m_processWait.waitForProcess(stub, exitCode);
}

}  // namespace qvd::job
