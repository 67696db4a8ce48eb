// The reference host as integrators run it: its output, its exit code, both
// object paths and the cancel option.
#include "ExpectedVersion.h"
#include "TestSupport.h"
#include "common/ScopedJobIds.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

HostRun RunHost(const TempDir& dir, const std::wstring& arguments) {
    HostRun run;
    const std::wstring outputPath = dir.file(L"host-output.txt");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    pxLib::UniqueHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inherit, CREATE_ALWAYS, 0, nullptr));
    if (!output) return run;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    std::wstring line = L"\"" + WinePath(QVD_TEST_QVDHOST) + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &pi))
        return run;
    pxLib::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &run.exitCode);
    output.reset();
    run.output = ReadFileUtf8(outputPath);
    return run;
}

std::wstring Quoted(const std::wstring& s) {
    return L"\"" + s + L"\"";
}

class QvdHost : public ::testing::Test {
protected:
    std::wstring JobFile(const std::string& json) {
        const std::wstring path = dir.file(L"job " + std::to_wstring(++jobs) + L".json");
        WriteFileUtf8(path, json);
        return path;
    }
    std::string InstallerJob(const std::vector<std::string>& behaviour) {
        const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", behaviour);
        std::string escaped;
        for (char c : Narrow(installer)) {
            if (c == '\\') escaped += '\\';
            escaped += c;
        }
        // An id of the job's own: a restart-needed result marks it.
        return "{" + jobIds.NewMember() +
               ", \"file_array\": [{\"type\": \"job_installer\", \"destination_file\": \"" +
               escaped + "\"}]}";
    }
    TempDir dir;
    ScopedJobIds jobIds;
    int jobs = 0;
};

TEST_F(QvdHost, PrintsEverySinkCallAndTheFinalStateThroughBothPaths) {
    const std::wstring job = JobFile(InstallerJob({"exit_code=0x80070070"}));
    for (const wchar_t* path : {L"", L"--com "}) {
        const HostRun run = RunHost(dir, path + Quoted(PluginDllPath()) + L" " + Quoted(job));
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        // The DLL introduces itself before the job runs.
        const std::vector<std::string> expectedLines = {
            "host: loaded " + Narrow(PluginDllPath()) + ", version " +
                Narrow(QVD_EXPECTED_FILE_VERSION),
            "Start returned 0x00000000",
            "sink: ReportStatus(4)",
            "sink: ReportError(0x80070070, qvd::plugin::QVDPluginImpl::run(1153))",
            "final state: 8 - the installer ended with a reported code",
            "exit code: 0x80070070"};
        for (const std::string& expected : expectedLines) {
            EXPECT_NE(run.output.find(expected), std::string::npos)
                << "missing \"" << expected << "\" in:\n"
                << run.output;
        }
    }
}

TEST_F(QvdHost, ExitsZeroWhenTheJobEndsWithTheProductInstalledOrRestarting) {
    const HostRun run = RunHost(
        dir, Quoted(PluginDllPath()) + L" " + Quoted(JobFile(InstallerJob({"exit_code=3010"}))));
    // 3010 is not an HRESULT: an unknown failure.
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    const HostRun restart =
        RunHost(dir, Quoted(PluginDllPath()) + L" " +
                         Quoted(JobFile(InstallerJob({"exit_code=0x80070BC2"}))));
    EXPECT_EQ(restart.exitCode, 0u) << restart.output;
    EXPECT_NE(restart.output.find("final state: 5"), std::string::npos) << restart.output;
}

TEST_F(QvdHost, CancelAfterEndsTheJobAsCancelled) {
    const HostRun run = RunHost(dir, L"--cancel-after 300 " + Quoted(PluginDllPath()) + L" " +
                                         Quoted(JobFile(InstallerJob({"sleep_ms=5000"}))));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("host: CancelAndWait() after 300 ms"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("final state: 6"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("exit code: 0x8000FFFF"), std::string::npos) << run.output;
}

TEST_F(QvdHost, RefusesWhatItCannotRun) {
    const struct {
        std::wstring arguments;
        const char* message;
    } cases[] = {
        {L"", "a plug-in DLL and a job file are needed"},
        {L"--cancel-after x a b", "--cancel-after needs a number"},
        {L"--bogus a b", "unknown option --bogus"},
        {Quoted(PluginDllPath()) + L" " + Quoted(dir.file(L"missing.json")),
         "cannot open the job file"},
        {Quoted(dir.file(L"missing.dll")) + L" " + Quoted(JobFile("{}")), "cannot load"},
        {Quoted(WinePath(QVD_TEST_FAKE_INSTALLER)) + L" " + Quoted(JobFile("{}")),
         "which has no version resource"},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(dir, c.arguments);
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
}

}  // namespace
}  // namespace qvdtest
