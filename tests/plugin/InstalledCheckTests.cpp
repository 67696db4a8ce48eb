// The installed check as the run sequence makes it, with a real product key,
// path expansion map, install cache and layout data under Wine. The product
// view, the product root and the map key are settled once per process, so
// every job here uses one silo.
#include "InProcessPlugin.h"
#include "job/SiteCode.h"
#include "packer/FileDataExtender.h"
#include "support/system/LiveObjects.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

const wchar_t kSilo[] = L"{3C6B1E20-7A4D-4F85-9B0E-2D1C5F8A6E47}";
const std::wstring kProductKey = std::wstring(L"SOFTWARE\\Halvex\\") + kSilo;

class InstalledCheck : public ::testing::Test {
protected:
    // The map key stays open once the first expansion opened it: the keys
    // live as long as the test program.
    static void SetUpTestSuite() {
        product = new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kProductKey);
        map =
            new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kProductKey + L"\\Plexor\\PathExpansionMap");
    }
    static void TearDownTestSuite() {
        delete map;
        delete product;
    }
    void SetUp() override { Reset(); }

    // A complete proof of the installed product.
    void Reset() {
        cache = dir.file(L"cache");
        CreateDirectoryW(cache.c_str(), nullptr);
        ASSERT_TRUE(map->SetString(L"INSTALLCACHE", cache));
        ASSERT_TRUE(product->SetString(L"Version", L"1.2.3.4"));
        ASSERT_TRUE(product->SetString(L"PRODUCTID", L"SampleProduct"));
        WriteInstallData({});
        ASSERT_TRUE(WriteFileUtf8(cache + L"\\finalzed.dat", "done"));
        installer = PlaceInstaller(dir, L"maker", L"setup.exe",
                                   {"started_marker=" + Narrow(dir.file(L"started"))});
    }

    // install.dat in the cache; a site code of "" means no entries 1001/1002.
    void WriteInstallData(const std::u16string& siteCode, bool withRule = false) {
        ZOLT::CIRT_FileDataExtender data;
        auto* values = data.EnsureCollection();
        ASSERT_NE(values, nullptr);
        EXPECT_TRUE(values->SetString(7, u"sample product"));
        if (withRule) {
            EXPECT_TRUE(values->SetUInt32(1001, 1));
        }
        if (!siteCode.empty()) {
            EXPECT_TRUE(values->SetString(1002, siteCode));
        }
        ASSERT_EQ(data.SaveToStorage(cache + L"\\install.dat"), S_OK);
    }

    std::string ProductData(const std::string& extra = "",
                            const std::string& installCache = "\"%INSTALLCACHE%\"") const {
        return "\"product_data\": {\"silo\": " + JsonString(kSilo) +
               ", \"product_version\": \"1.2.3.4\", \"product_version_key\": \"Version\","
               " \"run_key\": \"SampleProduct\", \"install_cache\": " +
               installCache + extra + "}";
    }

    struct Outcome {
        int32_t state;
        std::vector<SinkCall> calls;
        bool installerRan;
    };
    Outcome Run(const std::string& members) {
        Outcome o;
        DeleteFileW(dir.file(L"started").c_str());
        o.state = RunLinkedJob(JobFor(installer, members), o.calls);
        o.installerRan = FileExists(dir.file(L"started"));
        return o;
    }

    static ScopedRegistryKey* product;
    static ScopedRegistryKey* map;
    ScopedFakePlatform fake;
    TempDir dir;
    std::wstring cache, installer;
};

ScopedRegistryKey* InstalledCheck::product = nullptr;
ScopedRegistryKey* InstalledCheck::map = nullptr;

const std::vector<SinkCall> kFoundInstalled = {StatusCall(qvd::QVD_STATUS_ALREADY_INSTALLED)};
const std::vector<SinkCall> kInstallerRan = {StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)};

TEST_F(InstalledCheck, TheSameOrANewerVersionWithItsProofEndsTheJobAtOnce) {
    const Outcome same = Run(ProductData());
    EXPECT_EQ(same.state, qvd::QVD_STATE_INSTALLED);
    EXPECT_EQ(same.calls, kFoundInstalled) << Describe(same.calls);
    EXPECT_FALSE(same.installerRan);

    ASSERT_TRUE(product->SetString(L"Version", L"1.3"));
    const Outcome newer = Run(ProductData());
    EXPECT_EQ(newer.state, qvd::QVD_STATE_INSTALLED);
    EXPECT_EQ(newer.calls, kFoundInstalled) << Describe(newer.calls);

    // Another product id only makes it "not the same version"; a version that is
    // not older still counts.
    ASSERT_TRUE(product->SetString(L"PRODUCTID", L"OtherProduct"));
    EXPECT_EQ(Run(ProductData()).state, qvd::QVD_STATE_INSTALLED);
    ASSERT_TRUE(product->SetString(L"Version", L"1.2.3.4"));
    EXPECT_EQ(Run(ProductData()).state, qvd::QVD_STATE_INSTALLED);
}

// Reading install data creates the process object factory, which holds
// creators that point into the module: it counts among the module's live
// objects, so a host never unloads the module under it.
TEST_F(InstalledCheck, TheObjectFactoryOfARunThatReadInstallDataKeepsTheModule) {
    const Outcome o = Run(ProductData());
    ASSERT_EQ(o.state, qvd::QVD_STATE_INSTALLED) << Describe(o.calls);
    EXPECT_EQ(pxLib::LiveObjectCount(), 1u) << "every plug-in object is gone; the factory stays";
}

TEST_F(InstalledCheck, AnythingMissingFromTheProofRunsTheInstaller) {
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"older version", [&] { product->SetString(L"Version", L"1.2.3.3"); }},
        {"same version, no product id",
         [&] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductKey.c_str(), L"PRODUCTID"); }},
        {"no finalzed.dat", [&] { DeleteFileW((cache + L"\\finalzed.dat").c_str()); }},
        {"no install.dat", [&] { DeleteFileW((cache + L"\\install.dat").c_str()); }},
        {"install.dat not a collection",
         [&] { WriteFileUtf8(cache + L"\\install.dat", "not a collection"); }},
        {"unknown cache token",
         [&] {
             RegDeleteKeyValueW(HKEY_LOCAL_MACHINE,
                                (kProductKey + L"\\Plexor\\PathExpansionMap").c_str(),
                                L"INSTALLCACHE");
         }},
        {"no version value",
         [&] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductKey.c_str(), L"Version"); }},
    };
    for (const auto& c : cases) {
        Reset();
        c.change();
        const Outcome o = Run(ProductData());
        // The installer (exit 0) changes nothing, so the follow-up check agrees.
        EXPECT_EQ(o.state, qvd::QVD_STATE_NOT_INSTALLED) << c.what;
        EXPECT_EQ(o.calls, kInstallerRan) << c.what << ": " << Describe(o.calls);
        EXPECT_TRUE(o.installerRan) << c.what;
    }
}

TEST_F(InstalledCheck, AnInstallerThatCompletesTheProofEndsInstalled) {
    DeleteFileW((cache + L"\\finalzed.dat").c_str());
    installer = PlaceInstaller(dir, L"maker", L"setup.exe",
                               {"started_marker=" + Narrow(dir.file(L"started")),
                                "write_file=" + Narrow(cache + L"\\finalzed.dat")});
    const Outcome o = Run(ProductData());
    EXPECT_EQ(o.state, qvd::QVD_STATE_INSTALLED);
    EXPECT_EQ(o.calls, kInstallerRan) << Describe(o.calls);
    EXPECT_TRUE(o.installerRan);
}

TEST_F(InstalledCheck, ForcedOverinstallRunsTheInstallerAndTheFollowUpIgnoresTheForce) {
    // The installer itself carries layout data in a package behind its signature.
    installer = PlaceInstaller(dir, L"maker-layout", L"setup.exe",
                               {"started_marker=" + Narrow(dir.file(L"started"))});
    const Outcome forced = Run(ProductData(", \"force_overinstall\": 1"));
    EXPECT_TRUE(forced.installerRan) << "verification must accept the package-carrying file";
    EXPECT_EQ(forced.state, qvd::QVD_STATE_INSTALLED);
    EXPECT_EQ(forced.calls, kInstallerRan) << Describe(forced.calls);

    for (const char* notForcing : {", \"force_overinstall\": 0", ", \"force_overinstall\": true"}) {
        const Outcome o = Run(ProductData(notForcing));
        EXPECT_FALSE(o.installerRan) << notForcing;
        EXPECT_EQ(o.state, qvd::QVD_STATE_INSTALLED) << notForcing;
    }
}

// An exception after the installer ended (here a job key of the wrong kind
// that only the follow-up check reads) ends the run as failed and keeps the
// installer's exit code.
TEST_F(InstalledCheck, AnExceptionAfterTheInstallerEndedKeepsItsExitCode) {
    ASSERT_TRUE(product->SetString(L"Version", L"1.0"));
    installer = PlaceInstaller(dir, L"maker", L"setup.exe",
                               {"started_marker=" + Narrow(dir.file(L"started")), "exit_code=0",
                                "registry=HKLM\\" + Narrow(kProductKey) + "|Version|1.2.3.4"});
    DeleteFileW(dir.file(L"started").c_str());
    std::vector<SinkCall> calls;
    uint32_t exitCode = 0x12345678;
    const int32_t state = RunLinkedJob(JobFor(installer, ProductData("", "5")), calls, &exitCode);
    EXPECT_TRUE(FileExists(dir.file(L"started")));
    EXPECT_EQ(state, qvd::QVD_STATE_FAILED);
    EXPECT_EQ(calls, (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED),
                                            ErrorCall(qvd::QVD_E_EXCEPTION, 1177)}))
        << Describe(calls);
    EXPECT_EQ(exitCode, 0u) << "the installer's exit code stays";
}

// The layout data of the product (found from the host's folder and
// PAYLOAD_DESTINATION) says whether install.dat's site code must match the
// distribution's.
TEST_F(InstalledCheck, TheSiteCodeMustMatchWhereTheLayoutDataAsksForOne) {
    // The host here is this test program; the fixture lies beside its build folder.
    const std::string layoutPayload =
        "\"environment\": {\"PAYLOAD_DESTINATION\": "
        "\"..\\\\fixtures\\\\installers\\\\maker-layout.exe\"}";
    const std::string noLayoutPayload =
        "\"environment\": {\"PAYLOAD_DESTINATION\": "
        "\"..\\\\fixtures\\\\installers\\\\maker.exe\"}";
    const std::string partners = "\"distribution\": {\"PartnerID\": 1, \"PartnerUnitID\": 2}";
    const std::u16string code = qvd::job::SiteCode(u"2", u"1");
    std::u16string upper = code;
    for (auto& c : upper)
        if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');

    const struct {
        const char* what;
        std::u16string storedCode;
        bool withRule;
        std::string members;
        bool installed;
    } cases[] = {
        {"matching code, any letter case", upper, true, layoutPayload + ", " + partners, true},
        {"codes differ", u"70000000", true, layoutPayload + ", " + partners, false},
        {"ids swapped", qvd::job::SiteCode(u"1", u"2"), true, layoutPayload + ", " + partners,
         false},
        {"no PartnerUnitID", code, true, layoutPayload + ", \"distribution\": {\"PartnerID\": 1}",
         false},
        {"no distribution", code, true, layoutPayload, false},
        {"install.dat without 1001", u"70000000", false, layoutPayload + ", " + partners, true},
        {"layout data without a package", u"70000000", true, noLayoutPayload + ", " + partners,
         true},
    };
    for (const auto& c : cases) {
        WriteInstallData(c.storedCode, c.withRule);
        const Outcome o = Run(ProductData() + ", " + c.members);
        EXPECT_EQ(o.installerRan, !c.installed) << c.what;
        EXPECT_EQ(o.state, c.installed ? qvd::QVD_STATE_INSTALLED : qvd::QVD_STATE_NOT_INSTALLED)
            << c.what << ": " << Describe(o.calls);
    }
}

// PAYLOAD_DESTINATION may name the product's installer or its payload folder;
// the layout data is read from the installer's package, or from install.dat
// in the folder the path names.
TEST_F(InstalledCheck, TheLayoutDataIsFoundFromAModuleOrAFolderPath) {
    // The joined path starts in the host's folder: the payload must lie below it.
    wchar_t hostPath[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, hostPath, MAX_PATH), 0u);
    std::wstring hostFolder = hostPath;
    hostFolder.resize(hostFolder.find_last_of(L'\\') + 1);
    const std::wstring payloadName = L"payload-" + std::to_wstring(GetCurrentProcessId());
    struct PayloadFolder {
        explicit PayloadFolder(std::wstring p) : path(std::move(p)) {
            CreateDirectoryW(path.c_str(), nullptr);
        }
        ~PayloadFolder() {
            DeleteFileW((path + L"\\install.dat").c_str());
            DeleteFileW((path + L"\\setup.exe").c_str());
            RemoveDirectoryW(path.c_str());
        }
        std::wstring path;
    } payload(hostFolder + payloadName);
    // Both the package of setup.exe and the payload's install.dat ask for a site code.
    ASSERT_TRUE(CopyFileW(PlaceInstaller(dir, L"maker-layout", L"layout.exe", {}).c_str(),
                          (payload.path + L"\\setup.exe").c_str(), FALSE));
    {
        ZOLT::CIRT_FileDataExtender layout;
        auto* values = layout.EnsureCollection();
        ASSERT_NE(values, nullptr);
        EXPECT_TRUE(values->SetUInt32(1001, 64));
        ASSERT_EQ(layout.SaveToStorage(pxLib::ToU16(payload.path + L"\\install.dat")), S_OK);
    }
    WriteInstallData(u"70000000", true);  // a site code that matches no distribution

    const std::string partners = "\"distribution\": {\"PartnerID\": 1, \"PartnerUnitID\": 2}";
    const std::string folder = Narrow(payloadName);
    const struct {
        const char* what;
        std::string destination;
        bool installed;
    } cases[] = {
        // The installer's package asks for the code, which differs.
        {"the installer in the payload", folder + "\\\\setup.exe", false},
        // The payload folder itself: its install.dat asks for the code.
        {"the folder with a trailing separator", folder + "\\\\", false},
        // Without the separator the path names a file "payload-N" in the host's
        // folder; no layout data is found there, so no code is asked for.
        {"the folder without a separator", folder, true},
    };
    for (const auto& c : cases) {
        const Outcome o =
            Run(ProductData() + ", " + partners +
                ", \"environment\": {\"PAYLOAD_DESTINATION\": \"" + c.destination + "\"}");
        EXPECT_EQ(o.installerRan, !c.installed) << c.what;
        EXPECT_EQ(o.state, c.installed ? qvd::QVD_STATE_INSTALLED : qvd::QVD_STATE_NOT_INSTALLED)
            << c.what << ": " << Describe(o.calls);
    }
}

}  // namespace
}  // namespace qvdtest
