// The fixed debug-log lines of the waits for running installers and of the
// restart mark, read back from the log file that the product's debug options
// ask for. Options load once per process, so this program is one scenario:
// three runs whose restart state leads from one to the next.
#include "PluginTestSupport.h"
#include "ProductProof.h"
#include "RunOnceEntry.h"
#include "common/ScopedJobIds.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

const wchar_t kPrefix[] = L" : Information : qvd::plugin::QVDPluginImpl::";
const wchar_t kErrorPrefix[] = L" : Error : qvd::plugin::QVDPluginImpl::";

TEST(WaitLogLines, TheWaitsAndTheRestartMarkWriteTheirFixedLinesExactly) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    TempDir dir;
    const ProductProof product(dir);
    const ProductDebugLog debugLog(product.Key(), dir.path());
    ASSERT_TRUE(debugLog.Ready());

    ScopedJobIds jobIds;
    RunOnceEntry runOnce;
    const std::wstring stub = dir.file(L"Stub Folder\\inst stub.exe");
    const std::wstring installer = PlaceInstaller(
        dir, L"maker", L"setup.exe",
        {"exit_code=0x80070BC2", runOnce.WrittenByInstaller(L"\"" + stub + L"\" /x")});
    auto run = [&](const std::wstring& jobId) {
        StartedJob job(dll.CreatePlugin(), JobFor(installer, "\"job_id\": " + JsonString(jobId) +
                                                                 ", " + product.ProductData()));
        EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_REBOOT_REQUIRED) << Describe(job.Calls());
    };

    // A stub recorded under the job id that no longer exists, and no mark yet.
    const std::wstring first = jobIds.New();
    const std::wstring gone = dir.file(L"gone.exe");
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUserHalvexKey, first.c_str(), REG_SZ,
                              gone.c_str(), static_cast<DWORD>((gone.size() + 1) * 2)),
              ERROR_SUCCESS);
    run(first);
    // The same job again: the installer left a RunOnce entry and the run a mark.
    run(first);
    // Another job whose mark key stands already, without the mark's value.
    const std::wstring second = jobIds.New();
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, RestartMarkKey(second).c_str(), L"other", REG_SZ,
                              L"", sizeof(L"")),
              ERROR_SUCCESS);
    run(second);

    const std::wstring log = debugLog.Text();
    ASSERT_FALSE(log.empty()) << "no log file, or no byte-order mark";
    const std::wstring expected[] = {
        kPrefix + (L"waitForRunningInstallers(1673) : installerPath=" + installer),
        kPrefix + (L"waitForProcess(1404) : converted path " + installer),
        kPrefix + std::wstring(L"waitForRunningInstallers(1680) : Setup process not running, "
                               L"checking for InstStub"),
        kPrefix + (L"waitForRunningInstallers(1693) : Read InstStub path from value " + first),
        kPrefix + (L"waitForRunningInstallers(1698) : InstStub path  " + gone),
        kPrefix + std::wstring(L"waitForRunningInstallers(1709) : Check runonce registry"),
        kPrefix + (L"CheckRebootFromLastRun(1746) : Failed to open registry key "
                   L"Software\\Halvex\\QVDPlugin" +
                   first + L", error=2"),
        kPrefix + (L"waitForRunningInstallers(1718) : InstStub from runonce " + stub),
        kPrefix + (L"waitForProcess(1398) : specified process do not exists. " + stub),
        kPrefix + std::wstring(L"CheckRebootFromLastRun(1758) : RebootKey us set from previous "
                               L"install"),
        kErrorPrefix + std::wstring(L"SetRebootRequired(1843) : Reboot key is already created!!!"),
    };
    for (const std::wstring& line : expected)
        EXPECT_NE(log.find(line + L"\r\n"), std::wstring::npos) << Narrow(line) << "\nin:\n"
                                                                << Narrow(log);
    EXPECT_EQ(log.find(L"SetRebootRequired(1843)"), log.rfind(L"SetRebootRequired(1843)"))
        << "only the job whose key stood already";
}

}  // namespace
}  // namespace qvdtest
