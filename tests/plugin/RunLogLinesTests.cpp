// The run sequence's fixed debug-log lines, read back from the log file that
// the product's debug options ask for. Options load once per process, so this
// program runs one job only.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

const wchar_t kSilo[] = L"{0D1E2F3A-4B5C-4D6E-8F70-819203A4B5C6}";

TEST(RunLogLines, TheRunWritesItsFixedLinesExactly) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    TempDir dir;
    const std::wstring product = std::wstring(L"SOFTWARE\\Halvex\\") + kSilo;
    ScopedRegistryKey productKey(HKEY_LOCAL_MACHINE, product);
    const ProductDebugLog debugLog(product, dir.path());
    ASSERT_TRUE(debugLog.Ready());

    const std::wstring installer = PlaceInstaller(dir, L"unsigned", L"setup.exe", {});
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    const std::string productData =
        "\"product_data\": {\"silo\": " + JsonString(kSilo) + ", \"force_overinstall\": true}";
    ASSERT_EQ(plugin->Start(JobFor(installer, productData).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_LAUNCH_FAILED);
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    plugin.reset();

    const std::wstring log = debugLog.Text();
    ASSERT_FALSE(log.empty()) << "no log file, or no byte-order mark";
    const wchar_t* expected[] = {
        L" : Information : qvd::plugin::QVDPluginImpl::run(643) : Preloaded ucrtbase.dll\r\n",
        // Whatever the platform said, an installer not trusted is TRUST_E_SUBJECT_NOT_TRUSTED.
        L" : Error : qvd::plugin::QVDPluginImpl::run(905) : Prelaunch verification of installer  "
        L"failed, hr=0x800B0004\r\n",
    };
    for (const wchar_t* line : expected)
        EXPECT_NE(log.find(line), std::wstring::npos) << Narrow(line) << "\nin:\n" << Narrow(log);
    EXPECT_NE(log.find(L"run(671) : force_overinstall of type 5 ignored"), std::wstring::npos)
        << Narrow(log);
}

}  // namespace
}  // namespace qvdtest
