// The object-factory route under Wine, with small modules the build makes: the
// object repository (the product registry's "OBJID" and the settings store),
// the module trust hook that refuses modules not signed by the maker, a
// verifier made by the verifier module, the verdict provider, and the policy.
// This program registers no in-process verifier factory. Its product's silo,
// map and keys are settled once for the process, so the tests run in order.
#include "InProcessPlugin.h"
#include "ProductMapKeys.h"
#include "TrustTestSupport.h"
#include "collections/factory/ProcessObjectFactory.h"
#include "collections/factory/RegistryObjectRepository.h"
#include "modules/TestModuleConfig.h"
#include "modules/TestObject.h"
#include "support/isolation/IsolationSettings.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"
#include "trust/InstallerTrust.h"
#include "trust/ModuleTrustHook.h"
#include "trust/VerifyTrustFactory.h"

#include <gtest/gtest.h>

#include <optional>

namespace qvdtest {
namespace {

using pxLib::Guid;
using pxLib::OBJ_OK;
using pxLib::RefPtr;
using pxLib::TrustLevel;
using pxLib::ValidationError;

std::wstring Text(const Guid& id) {
    return pxLib::ToWide(pxLib::GuidToText(id));
}

struct Product {
    ProductMapKeys keys;
    std::wstring objects() const { return L"SOFTWARE\\Halvex\\" + keys.silo() + L"\\OBJID"; }
    // HKLM\<product root>\OBJID\{id}: "InProc64" = path.
    bool Register(const Guid& id, const std::wstring& path) const {
        pxLib::RegistryKey key;
        return key.Open(HKEY_LOCAL_MACHINE, (objects() + L"\\" + Text(id)).c_str(),
                        KEY_WRITE | KEY_WOW64_64KEY, true) &&
               key.SetString(L"InProc64", path);
    }
    bool Unregister(const Guid& id) const {
        pxLib::RegistryKey key;
        return key.Open(HKEY_LOCAL_MACHINE, objects().c_str(), KEY_ALL_ACCESS | KEY_WOW64_64KEY) &&
               key.DeleteSubKey(Text(id).c_str());
    }
};

class RouteEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        product.emplace();
        pxLib::SelectProductRegistryView(pxLib::ToU16(product->keys.silo()));
        ASSERT_TRUE(product->keys.SetString(L"PXROOTX64", ModulesDir(L"root")));
        ASSERT_TRUE(product->keys.SetString(L"TavRUQ64", ModulesDir(L"provider")));
        settings.emplace(HKEY_CURRENT_USER, qvdmodule::kSettingsStoreKey);
        provider.emplace(HKEY_CURRENT_USER, qvdmodule::kVerdictProviderKey);
        pxLib::InstallModuleTrustHook();
    }
    void TearDown() override {
        provider.reset();
        settings.reset();
        product.reset();
    }
    std::optional<Product> product;
    std::optional<ScopedRegistryKey> settings, provider;
};

RouteEnvironment* const g_route =
    static_cast<RouteEnvironment*>(::testing::AddGlobalTestEnvironment(new RouteEnvironment));

RefPtr<pxLib::IProcessObjectFactory> Factory() {
    RefPtr<pxLib::IProcessObjectFactory> factory;
    EXPECT_EQ(pxLib::GetProcessObjectFactory(factory), OBJ_OK);
    return factory;
}

std::wstring ObjectModule(const wchar_t* signer) {
    return ModulesDir((std::wstring(L"objects\\") + signer).c_str()) + L"\\TestObject.dll";
}

TEST(ObjectRoute, WithoutTheInProcessFactoryTheVerifierComesFromItsModule) {
    EXPECT_EQ(pxLib::VerifyTrustFactoryRegistrationResult(), E_UNEXPECTED);
    ASSERT_TRUE(g_route->product->Register(pxLib::CLSID_VerifyTrust, L"%PXROOTX64%\\pxVrTrst.dll"));
    RefPtr<pxLib::IVerifyTrust> verifier;
    ASSERT_EQ(pxLib::GetTrustVerifier(verifier), S_OK);
    ASSERT_TRUE(verifier);
    EXPECT_TRUE(Factory()->IsRegisteredLocally(pxLib::CLSID_VerifyTrust));
    // Not this program's verifier: the module's.
    EXPECT_EQ(verifier->VerifyModuleOfObject(verifier.get(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(verifier->VerifyFile(InstallerFixture(L"maker").c_str(), TrustLevel::SignedByMaker),
              T);
    EXPECT_EQ(verifier->VerifyFile(InstallerFixture(L"other").c_str(), TrustLevel::SignedByMaker),
              N);

    // The prelaunch verification takes the same road.
    TempDir dir;
    pxLib::UniqueHandle held;
    EXPECT_EQ(pxLib::VerifyInstallerTrust(PlaceInstaller(dir, L"maker", L"a.exe", {}), held), S_OK);
    EXPECT_EQ(pxLib::VerifyInstallerTrust(PlaceInstaller(dir, L"other", L"b.exe", {}), held),
              pxLib::kInstallerNotTrusted);
}

TEST(ObjectRoute, ClassesOutsideTheBuiltInOnesComeFromTrustedModules) {
    const Guid refusedByOther = {
        0x0E1C4A77, 0x1D2B, 0x4B50, {0xA1, 0x7E, 0x4C, 0x2A, 0x08, 0x93, 0xD6, 0x11}};
    const Guid refusedUnsigned = {
        0x0E1C4A77, 0x1D2B, 0x4B50, {0xA1, 0x7E, 0x4C, 0x2A, 0x08, 0x93, 0xD6, 0x12}};
    const Guid missingModule = {
        0x0E1C4A77, 0x1D2B, 0x4B50, {0xA1, 0x7E, 0x4C, 0x2A, 0x08, 0x93, 0xD6, 0x13}};
    const Guid unknown = {
        0x0E1C4A77, 0x1D2B, 0x4B50, {0xA1, 0x7E, 0x4C, 0x2A, 0x08, 0x93, 0xD6, 0x14}};
    const Guid unexpanded = {
        0x0E1C4A77, 0x1D2B, 0x4B50, {0xA1, 0x7E, 0x4C, 0x2A, 0x08, 0x93, 0xD6, 0x15}};
    const Product& product = *g_route->product;
    ASSERT_TRUE(product.Register(unexpanded, L"%QVDNOSUCHFOLDER%\\TestObject.dll"));
    ASSERT_TRUE(product.Register(qvdmodule::CLSID_TestObject, ObjectModule(L"maker")));
    ASSERT_TRUE(product.Register(refusedByOther, ObjectModule(L"other")));
    ASSERT_TRUE(product.Register(refusedUnsigned, ObjectModule(L"unsigned")));
    ASSERT_TRUE(product.Register(missingModule, ModulesDir(L"objects") + L"\\missing.dll"));

    const auto factory = Factory();
    EXPECT_TRUE(factory->IsRegistered(qvdmodule::CLSID_TestObject));
    RefPtr<qvdmodule::ITestObject> object;
    ASSERT_EQ(factory->CreateInstance(qvdmodule::CLSID_TestObject, qvdmodule::IID_ITestObject,
                                      object.put_void()),
              OBJ_OK);
    EXPECT_EQ(object->Answer(), qvdmodule::kTestObjectAnswer);

    const struct {
        Guid id;
        pxLib::OBJRESULT expected;
        const char* what;
    } refusals[] = {
        {refusedByOther, pxLib::OBJ_E_MODULENOTTRUSTED, "signed by another publisher"},
        {refusedUnsigned, pxLib::OBJ_E_MODULENOTTRUSTED, "unsigned"},
        {missingModule, pxLib::OBJ_E_MODULENOTFOUND, "missing"},
        {unknown, pxLib::OBJ_E_INVALIDARG, "in no repository"},
        {unexpanded, pxLib::OBJ_E_INVALIDARG, "a token that does not expand"},
    };
    for (const auto& r : refusals) {
        void* out = &out;
        EXPECT_EQ(factory->CreateInstance(r.id, qvdmodule::IID_ITestObject, &out), r.expected)
            << r.what;
        EXPECT_EQ(out, nullptr) << r.what;
        EXPECT_FALSE(factory->IsRegisteredLocally(r.id)) << r.what;
    }
    // A module of another publisher is not even loaded.
    EXPECT_EQ(GetModuleHandleW(ObjectModule(L"other").c_str()), nullptr);
    EXPECT_NE(GetModuleHandleW(ObjectModule(L"maker").c_str()), nullptr);
}

TEST(ObjectRoute, AModuleNamedByARelativePathIsNotLoaded) {
    // The maker's module serves the class and lies in the current folder.
    const Product& product = *g_route->product;
    ASSERT_TRUE(product.Register(qvdmodule::CLSID_TestStoreObject, L"TestObject.dll"));
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(ModulesDir(L"objects\\maker").c_str()));
    const auto factory = Factory();
    void* out = &out;
    EXPECT_EQ(
        factory->CreateInstance(qvdmodule::CLSID_TestStoreObject, qvdmodule::IID_ITestObject, &out),
        pxLib::OBJ_E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    SetCurrentDirectoryW(previous);

    // The class is the settings store's in the next test.
    while (factory->IsRegisteredLocally(qvdmodule::CLSID_TestStoreObject))
        ASSERT_EQ(factory->Unregister(qvdmodule::CLSID_TestStoreObject), OBJ_OK);
    EXPECT_TRUE(product.Unregister(qvdmodule::CLSID_TestStoreObject));
    auto* repository =
        dynamic_cast<pxLib::RegistryObjectRepository*>(&pxLib::CurrentObjectRepository());
    ASSERT_NE(repository, nullptr);
    repository->Forget();
}

TEST(ObjectRoute, TheSettingsStoreNamesModulesToo) {
    ScopedRegistryKey entry(HKEY_CURRENT_USER, std::wstring(qvdmodule::kSettingsStoreKey) +
                                                   L"\\Plexor\\OBJID\\" +
                                                   Text(qvdmodule::CLSID_TestStoreObject));
    ASSERT_TRUE(entry.SetString(L"InProc64", ObjectModule(L"maker")));
    // An entry whose name is no object id is passed over.
    ScopedRegistryKey stray(HKEY_CURRENT_USER,
                            std::wstring(qvdmodule::kSettingsStoreKey) + L"\\Plexor\\OBJID\\stray");
    ASSERT_TRUE(stray.SetString(L"InProc64", ObjectModule(L"other")));

    RefPtr<qvdmodule::ITestObject> object;
    ASSERT_EQ(Factory()->CreateInstance(qvdmodule::CLSID_TestStoreObject,
                                        qvdmodule::IID_ITestObject, object.put_void()),
              OBJ_OK);
    EXPECT_EQ(object->Answer(), qvdmodule::kTestObjectAnswer);
}

TEST(ObjectRoute, AVerifierThatCannotBeMadeFailsWithATranslatedCode) {
    const auto factory = Factory();
    Product& product = *g_route->product;
    auto* repository =
        dynamic_cast<pxLib::RegistryObjectRepository*>(&pxLib::CurrentObjectRepository());
    ASSERT_NE(repository, nullptr);
    // The class is known to the process and to the repository: take both back.
    const auto reregister = [&](const std::wstring* path) {
        while (factory->IsRegisteredLocally(pxLib::CLSID_VerifyTrust))
            ASSERT_EQ(factory->Unregister(pxLib::CLSID_VerifyTrust), OBJ_OK);
        if (path)
            ASSERT_TRUE(product.Register(pxLib::CLSID_VerifyTrust, *path));
        else
            ASSERT_TRUE(product.Unregister(pxLib::CLSID_VerifyTrust));
        repository->Forget();
    };
    const struct {
        std::optional<std::wstring> module;
        HRESULT expected;
        const char* what;
    } cases[] = {
        {ModulesDir(L"root") + L"\\gone.dll", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "missing"},
        {ObjectModule(L"other"), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), "refused by the hook"},
        {std::nullopt, E_INVALIDARG, "not in the repository"},
    };
    for (const auto& c : cases) {
        reregister(c.module ? &*c.module : nullptr);
        RefPtr<pxLib::IVerifyTrust> verifier;
        EXPECT_EQ(pxLib::GetTrustVerifier(verifier), c.expected) << c.what;
        EXPECT_FALSE(verifier) << c.what;
    }
}

// The verdict provider's "vtresult" for a file name, through its test module.
class Verdicts {
public:
    Verdicts()
        : m_key(HKEY_CURRENT_USER, std::wstring(qvdmodule::kVerdictProviderKey) + L"\\" +
                                       qvdmodule::kVerdictsSubKey) {}
    void Set(const std::wstring& fileName, DWORD flags) { m_key.SetDword(fileName.c_str(), flags); }

private:
    ScopedRegistryKey m_key;
};

TEST(ObjectRoute, TheVerdictProviderDecidesWhenItHasAVerdict) {
    TempDir dir;
    const std::wstring other = PlaceInstaller(dir, L"other", L"other.exe", {});
    const std::wstring maker = PlaceInstaller(dir, L"maker", L"maker.exe", {});
    const std::wstring platformFile = PlaceInstaller(dir, L"platform", L"platform.exe", {});
    const std::wstring plain = PlaceInstaller(dir, L"maker", L"plain.exe", {});
    const std::wstring noVerdict = PlaceInstaller(dir, L"other", L"no-verdict.exe", {});
    Verdicts verdicts;
    verdicts.Set(L"other.exe", 0x08);            // the maker's, says the provider
    verdicts.Set(L"maker.exe", 0x00);            // nobody's
    verdicts.Set(L"platform.exe", 0x10 | 0x20);  // the platform's, a system component
    verdicts.Set(L"plain.exe", 0x40000);         // not to be believed

    RefPtr<pxLib::CVerifyTrust> verifier(new pxLib::CVerifyTrust);
    ASSERT_TRUE(verifier->GetProviderEnabled());
    ASSERT_EQ(verifier->Create(false), T);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), N);
    EXPECT_EQ(verifier->VerifyFile(plain.c_str(), TrustLevel::SignedByMaker), T);
    bool system = false;
    EXPECT_EQ(
        verifier->VerifyFile(platformFile.c_str(), TrustLevel::SignedByPlatform, false, &system),
        T);
    EXPECT_TRUE(system);
    // Under the driver policy a verdict without the driver bit is not final:
    // the signature (with the driver usage) decides.
    EXPECT_EQ(verifier->VerifyDriverFile(platformFile.c_str(), false), T);
    // Level 5 never asks the provider.
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByAltPublisher), N);
    // A file it has no verdict for: the signature decides.
    EXPECT_EQ(verifier->VerifyFile(noVerdict.c_str(), TrustLevel::SignedByMaker), N);

    // Without the provider the signatures decide.
    verifier->SetProviderEnabled(false);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByMaker), N);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
    verifier->SetProviderEnabled(true);
    EXPECT_EQ(verifier->ReleaseProvider(), T);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByMaker), T);

    // A provider whose "vtresult" is not a readable 32-bit value is not used.
    ScopedRegistryKey& config = *g_route->provider;
    ASSERT_TRUE(config.SetDword(L"AttributeType", 2));
    ASSERT_EQ(verifier->Create(false), T);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByMaker), N);
    ASSERT_TRUE(config.SetDword(L"AttributeType", 1));
    ASSERT_TRUE(config.SetDword(L"AttributeFlags", 1));
    ASSERT_EQ(verifier->Create(false), T);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), TrustLevel::SignedByMaker), N);
}

// Last: a policy of 0, once read, stays for the life of the process.
TEST(ObjectRoute, ThePolicyTurnsVerifiersMadeWithItOff) {
    RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
    RefPtr<pxLib::IVerifyTrustPolicy> policy;
    ASSERT_EQ(pxLib::QueryInto(static_cast<pxLib::IVerifyTrust*>(verifier.get()),
                               pxLib::IID_IVerifyTrustPolicy, policy),
              OBJ_OK);
    const std::wstring key =
        L"SOFTWARE\\Halvex\\" + g_route->product->keys.silo() + L"\\Plexor\\pxVerifyTrust";
    EXPECT_TRUE(policy->GetAlternateTrustPolicy());
    ASSERT_TRUE(policy->SetAlternateTrustPolicy(true));
    pxLib::RegistryKey stored;
    DWORD value = 7;
    ASSERT_TRUE(stored.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ | KEY_WOW64_64KEY));
    ASSERT_TRUE(stored.QueryDWORD(L"AlternateTrustPolicy", value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(policy->GetAlternateTrustPolicy());
    ASSERT_EQ(verifier->Create(true), T);
    EXPECT_TRUE(verifier->GetEnabled());
    const std::wstring unsignedFile = InstallerFixture(L"unsigned");
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedByMaker), N);

    ASSERT_TRUE(policy->SetAlternateTrustPolicy(false));
    ASSERT_TRUE(stored.QueryDWORD(L"AlternateTrustPolicy", value));
    EXPECT_EQ(value, 0u);
    // The in-process factory's Create(false) does not read it.
    ASSERT_EQ(verifier->Create(false), T);
    EXPECT_TRUE(verifier->GetEnabled());
    ASSERT_EQ(verifier->Create(true), T);
    EXPECT_FALSE(verifier->GetEnabled());
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedByMaker), T);
    // Read once as 0, it stays 0 for the process.
    ASSERT_TRUE(policy->SetAlternateTrustPolicy(true));
    EXPECT_FALSE(policy->GetAlternateTrustPolicy());
}

}  // namespace
}  // namespace qvdtest
