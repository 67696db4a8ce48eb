// A launch path that does not lead back to the held installer ends the run as
// a failed verification, and its log line says why. Options load once per
// process, so this program runs one job only.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

const wchar_t kSilo[] = L"{6A1F0C3E-2B7D-4E58-9C41-D2E8B07A5F13}";

TEST(LaunchPathLogLine, ANameThePathRulesWouldTrimFailsAsAVerification) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    TempDir dir;
    const LoggingProduct product(kSilo, dir.path());
    ASSERT_TRUE(product.log.Ready());

    // The maker's "setup.exe." is held; the same path without its prefix
    // names the unsigned "setup.exe".
    const std::wstring exact = L"\\\\?\\" + dir.file(L"setup.exe.");
    const std::wstring staged = PlaceInstaller(dir, L"maker", L"staged.exe", {});
    ASSERT_TRUE(MoveFileW((L"\\\\?\\" + staged).c_str(), exact.c_str()));
    const std::wstring marker = dir.file(L"unsigned-started");
    PlaceInstaller(dir, L"unsigned", L"setup.exe", {"started_marker=" + Narrow(marker)});

    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    const std::string productData = "\"product_data\": {\"silo\": " + JsonString(kSilo) + "}";
    ASSERT_EQ(plugin->Start(JobFor(exact, productData).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_LAUNCH_FAILED);
    EXPECT_EQ(sink.Calls(), std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)})
        << Describe(sink.Calls());
    plugin->CancelAndWait();
    plugin.reset();
    EXPECT_FALSE(FileExists(marker));

    const std::wstring log = product.log.Text();
    ASSERT_FALSE(log.empty()) << "no log file, or no byte-order mark";
    // ERROR_FILE_INVALID: the launch path names another file than the held one.
    const wchar_t line[] =
        L" : Error : qvd::plugin::QVDPluginImpl::run(905) : Prelaunch verification of installer  "
        L"failed, hr=0x800703EE\r\n";
    EXPECT_NE(log.find(line), std::wstring::npos) << Narrow(line) << "\nin:\n" << Narrow(log);
}

}  // namespace
}  // namespace qvdtest
