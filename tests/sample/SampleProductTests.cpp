// The sample product's installer (NSIS, signed with the maker certificate,
// carrying its layout data) driven through the real DLL under Wine, job after
// job as an integrator's host would: the product is really installed, found
// installed, upgraded, asks for a restart, fails, and changed or unsigned
// copies are refused before they start.
#include "common/ScopedJobIds.h"
#include "plugin/PluginTestSupport.h"
#include "SampleProductBuild.h"
#include "support/system/ComPtr.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

const std::wstring kProductKey = std::wstring(L"SOFTWARE\\Halvex\\") + QVD_SAMPLE_SILO;
constexpr uint32_t kExitSuccess = 0;
constexpr uint32_t kExitRestartNeeded = 0x80070BC2;
constexpr uint32_t kExitInstallFailed = 0x80070643;
constexpr unsigned kUnknownExitCodeLine = 1170;

enum class Installer : uint8_t { Version10, Version11, ChangedByte, OtherPublisher, Unsigned };

std::wstring InstallerPath(Installer installer) {
    const std::wstring built = WinePath(QVD_SAMPLE_DIR) + L"\\";
    const std::wstring work = WinePath(QVD_SAMPLE_WORK_DIR) + L"\\";
    switch (installer) {
        case Installer::Version10:
            return built + L"SampleProduct-1.0.0.0-Setup.exe";
        case Installer::Version11:
            return built + L"SampleProduct-1.1.0.0-Setup.exe";
        case Installer::ChangedByte:
            return built + L"SampleProduct-1.1.0.0-Setup-changed.exe";
        case Installer::OtherPublisher:
            return built + L"SampleProduct-1.1.0.0-Setup-other-publisher.exe";
        case Installer::Unsigned:
            return work + L"SampleProduct-1.1.0.0-unsigned.exe";
    }
    return L"";
}

// One job of the walk and what the host must see.
struct JobCase {
    const char* what;
    Installer installer;
    const char* version;
    const char* switches;  // the installer's own, besides /S and /D
    bool forced;
    unsigned partnerId;
    int32_t state;
    std::vector<SinkCall> calls;
    uint32_t exitCode;
    const wchar_t* installedVersion;  // the product key's "Version" afterwards
};

class SampleProduct : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll.module(), nullptr); }

    std::wstring Job(const JobCase& c) {
        const std::string commandLine =
            std::string("/S ") + c.switches + " /D=" + Narrow(installDir);
        std::string productData =
            "\"product_data\": {\"silo\": " + JsonString(QVD_SAMPLE_SILO) +
            ", \"product_version\": \"" + c.version +
            "\", \"product_version_key\": \"Version\", \"run_key\": " +
            JsonString(QVD_SAMPLE_PRODUCT_ID) +
            ", \"install_cache\": \"%INSTALLDIR%\\\\InstallCache\", \"command_line\": " +
            JsonString(Widen(commandLine));
        if (c.forced) productData += ", \"force_overinstall\": 1";
        productData += "}";
        const std::string distribution =
            "\"distribution\": {\"PartnerID\": " + std::to_string(c.partnerId) +
            ", \"PartnerUnitID\": " + std::to_string(QVD_SAMPLE_PARTNER_UNIT_ID) + "}";
        // The product's layout data, found from the host's folder.
        const std::string payload = "\"environment\": {\"PAYLOAD_DESTINATION\": " +
                                    JsonString(Widen(QVD_SAMPLE_DIR_FROM_TESTS "\\SampleProduct-") +
                                               Widen(c.version) + L"-Setup.exe") +
                                    "}";
        return JobFor(InstallerPath(c.installer), jobIds.NewMember() + ", " + productData + ", " +
                                                      distribution + ", " + payload);
    }

    struct Outcome {
        int32_t state = 0;
        uint32_t exitCode = 0;
        std::vector<SinkCall> calls;
    };
    Outcome Run(const std::wstring& job) {
        Outcome o;
        const pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
        EXPECT_TRUE(plugin);
        if (!plugin) return o;
        RecordingSink sink;
        EXPECT_EQ(plugin->Start(job.c_str(), &sink), S_OK);
        o.state = WaitForFinalState(plugin.get());
        o.exitCode = plugin->GetExitCode();
        o.calls = sink.Calls();
        return o;
    }

    static std::wstring InstalledVersion() {
        wchar_t value[64] = {};
        DWORD size = sizeof(value);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kProductKey.c_str(), L"Version", RRF_RT_REG_SZ,
                         nullptr, value, &size) != ERROR_SUCCESS)
            return L"";
        return value;
    }

    LoadedPlugin dll;
    TempDir dir;
    // The restart-needed job leaves its mark under its id.
    ScopedJobIds jobIds;
    const std::wstring installDir = dir.file(L"Sample Product");
    // Removed before and after: the walk starts with the product not installed.
    ScopedRegistryKey product{HKEY_LOCAL_MACHINE, kProductKey};
};

TEST_F(SampleProduct, JobAfterJobThroughTheRealInstaller) {
    // The owner leaves an empty key behind; the walk starts with none at all.
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey.c_str()), ERROR_SUCCESS);
    const SinkCall started = StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED);
    const std::vector<SinkCall> ran = {started};
    const std::vector<SinkCall> foundInstalled = {StatusCall(qvd::QVD_STATUS_ALREADY_INSTALLED)};
    const std::vector<SinkCall> ranAndFailed = {
        started,
        ErrorCall(static_cast<uint32_t>(qvd::QVD_E_INSTALLER_FAILED), kUnknownExitCodeLine)};
    const std::vector<SinkCall> refused = {StatusCall(qvd::QVD_STATUS_FAILED)};
    const unsigned partner = QVD_SAMPLE_PARTNER_ID;
    const unsigned otherPartner = QVD_SAMPLE_PARTNER_ID + 8;
    const bool forced = true;
    const JobCase walk[] = {
        {"install", Installer::Version10, "1.0.0.0", "", !forced, partner, qvd::QVD_STATE_INSTALLED,
         ran, kExitSuccess, L"1.0.0.0"},
        {"the same job again", Installer::Version10, "1.0.0.0", "", !forced, partner,
         qvd::QVD_STATE_INSTALLED, foundInstalled, kExitCodeNotKnown, L"1.0.0.0"},
        // The installed data carries the site code of the sample's distribution only.
        {"another distribution's job", Installer::Version10, "1.0.0.0", "", !forced, otherPartner,
         qvd::QVD_STATE_NOT_INSTALLED, ran, kExitSuccess, L"1.0.0.0"},
        {"a newer version", Installer::Version11, "1.1.0.0", "", !forced, partner,
         qvd::QVD_STATE_INSTALLED, ran, kExitSuccess, L"1.1.0.0"},
        {"an older version once the newer is installed", Installer::Version10, "1.0.0.0", "",
         !forced, partner, qvd::QVD_STATE_INSTALLED, foundInstalled, kExitCodeNotKnown, L"1.1.0.0"},
        {"restart needed", Installer::Version11, "1.1.0.0", "/RESULT=restart", forced, partner,
         qvd::QVD_STATE_REBOOT_REQUIRED, ran, kExitRestartNeeded, L"1.1.0.0"},
        {"the installer fails", Installer::Version11, "1.1.0.0", "/RESULT=fail", forced, partner,
         qvd::QVD_STATE_FAILED, ranAndFailed, kExitInstallFailed, L"1.1.0.0"},
        {"a copy with one byte changed", Installer::ChangedByte, "1.1.0.0", "", forced, partner,
         qvd::QVD_STATE_LAUNCH_FAILED, refused, kExitCodeNotKnown, L"1.1.0.0"},
        {"the unsigned build", Installer::Unsigned, "1.1.0.0", "", forced, partner,
         qvd::QVD_STATE_LAUNCH_FAILED, refused, kExitCodeNotKnown, L"1.1.0.0"},
        // Validly signed, but not by the maker.
        {"signed by another publisher", Installer::OtherPublisher, "1.1.0.0", "", forced, partner,
         qvd::QVD_STATE_LAUNCH_FAILED, refused, kExitCodeNotKnown, L"1.1.0.0"},
    };
    for (const JobCase& c : walk) {
        const Outcome o = Run(Job(c));
        EXPECT_EQ(o.state, c.state) << c.what;
        EXPECT_EQ(o.calls, c.calls) << c.what << ": " << Describe(o.calls);
        EXPECT_EQ(o.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(InstalledVersion(), c.installedVersion) << c.what;
    }
    // What the installer left behind, where the job asked for it.
    for (const wchar_t* file : {L"ReadMe.txt", L"SampleProduct.ini", L"InstallCache\\install.dat",
                                L"InstallCache\\finalzed.dat"})
        EXPECT_TRUE(FileExists(installDir + L"\\" + file)) << Narrow(file);
}

}  // namespace
}  // namespace qvdtest
