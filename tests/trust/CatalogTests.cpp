// The catalog fallback with the prefix's real catalog database: catalogs made
// by the build (certificate trust lists signed with openssl) are added with
// CryptCATAdminAddCatalog and removed again. Wine's database holds SHA-1
// hashes only and has no SHA-256 administrator context: a Windows 8 or later
// system (what the prefix reports) gets no catalog context under Wine, which
// the verifier treats as an unavailable catalog database; Windows 7 through
// the version seam takes the SHA-1 road.
#include "InProcessPlugin.h"
#include "TrustTestSupport.h"
#include "trust/CatalogContext.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using pxLib::TrustLevel;
using pxLib::ValidationError;

const pxLib::OsVersion kWindows10{10, 0, 19045, true};

// One catalog in the database for the life of the object.
class InstalledCatalog {
public:
    explicit InstalledCatalog(const wchar_t* fixture)
        : m_name(std::wstring(L"qvdtest-") + fixture + L"-" +
                 std::to_wstring(GetCurrentProcessId()) + L".cat") {
        pxLib::CatalogContext admin(false);
        std::wstring source = CatalogFixture(fixture);
        if (!admin.Acquired()) return;
        HCATINFO added = CryptCATAdminAddCatalog(admin.Handle(), source.data(), m_name.data(), 0);
        if (!added) return;
        CATALOG_INFO info{};
        info.cbStruct = sizeof(info);
        if (CryptCATCatalogInfoFromContext(added, &info, 0)) m_path = info.wszCatalogFile;
        CryptCATAdminReleaseCatalogContext(admin.Handle(), added, 0);
    }
    ~InstalledCatalog() {
        pxLib::CatalogContext admin(false);
        if (admin.Acquired()) CryptCATAdminRemoveCatalog(admin.Handle(), m_name.c_str(), 0);
    }
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_name;
    std::wstring m_path;  // where the database keeps it
};

class Catalogs : public ::testing::Test {
protected:
    void SetUp() override { platform->version = kWindows7; }
    ScopedFakePlatform platform;
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
    // A copy: the catalog lists the file by its contents, wherever it lies.
    TempDir dir;
    const std::wstring unsignedFile = PlaceInstaller(dir, L"unsigned", L"listed.exe", {});
};

TEST_F(Catalogs, AnUnsignedFileListedInACatalogIsJudgedByTheCatalogsSigner) {
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedAny), N);
    {
        const InstalledCatalog catalog(L"unsigned-by-maker");
        ASSERT_FALSE(catalog.path().empty()) << "the catalog database refused the catalog";
        ScopedTrustProvider provider;
        EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedAny), T);
        // The file itself failed, then its catalog vouched for it.
        ASSERT_EQ(provider->calls.size(), 2u);
        EXPECT_EQ(provider->calls[0].unionChoice, DWORD{WTD_CHOICE_FILE});
        EXPECT_EQ(provider->calls[1].unionChoice, DWORD{WTD_CHOICE_CATALOG});
        EXPECT_EQ(provider->calls[1].subject, catalog.path());
        EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedCode), T);
        // The maker's files must carry the maker's own signature.
        EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedByMaker), N);
        // A catalog does not make another file good.
        EXPECT_EQ(
            verifier->VerifyFile(InstallerFixture(L"tampered").c_str(), TrustLevel::SignedAny), N);
    }
    {
        // The catalog's signer lacks both the code-signing usage and the marker.
        const InstalledCatalog catalog(L"unsigned-by-nocodesign-nomarker");
        ASSERT_FALSE(catalog.path().empty());
        EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedAny), N);
    }
    {
        // A system file in the platform vendor's catalog.
        const InstalledCatalog catalog(L"unsigned-by-platform");
        ASSERT_FALSE(catalog.path().empty());
        bool system = false;
        EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedByPlatform, false,
                                       &system),
                  T);
        EXPECT_TRUE(system);
    }
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedAny), N);
}

TEST_F(Catalogs, AHeldFileIsLookedUpByItsOwnBytes) {
    // The path names a file no catalog lists; the held file is listed.
    const std::wstring elsewhere = InstallerFixture(L"tampered");
    const pxLib::UniqueHandle held(CreateFileW(
        unsignedFile.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const InstalledCatalog catalog(L"unsigned-by-maker");
    ASSERT_FALSE(catalog.path().empty());
    ScopedTrustProvider provider;
    EXPECT_EQ(verifier->VerifyHeldFile(elsewhere.c_str(), TrustLevel::SignedAny, held.get()), T);
    ASSERT_EQ(provider->calls.size(), 2u);
    EXPECT_EQ(provider->calls[0].file, held.get());
    EXPECT_EQ(provider->calls[1].subject, catalog.path());
    EXPECT_EQ(verifier->VerifyFile(elsewhere.c_str(), TrustLevel::SignedAny), N);
}

TEST_F(Catalogs, WithoutACatalogContextTheDatabaseIsUnavailable) {
    platform->version = kWindows10;
    const InstalledCatalog catalog(L"unsigned-by-maker");
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedAny),
              ValidationError::VT_ERROR);
    // The maker's level searches no catalog, so it needs none.
    EXPECT_EQ(verifier->VerifyFile(unsignedFile.c_str(), TrustLevel::SignedByMaker), N);
}

TEST_F(Catalogs, TheHashAndTagTheDatabaseLooksUp) {
    const pxLib::CatalogContext context(false);
    ASSERT_TRUE(context.Acquired());
    EXPECT_FALSE(context.UsesSha256());
    const pxLib::CatalogFileHash hash(context.Handle(), unsignedFile, false);
    ASSERT_TRUE(hash.Succeeded());
    EXPECT_EQ(hash.Bytes().size(), 20u);
    EXPECT_EQ(hash.MemberTag(), pxLib::HashMemberTag(hash.Bytes()));
    EXPECT_EQ(pxLib::HashMemberTag({0x00, 0x9A, 0xFF, 0x10}), L"009AFF10");
    EXPECT_TRUE(pxLib::CatalogIterator(context.Handle(), hash.Bytes()).FoundNone());
    {
        const InstalledCatalog catalog(L"unsigned-by-maker");
        const pxLib::CatalogIterator found(context.Handle(), hash.Bytes());
        ASSERT_EQ(found.Catalogs().size(), 1u);
        EXPECT_EQ(found.Catalogs()[0], catalog.path());
    }
    const pxLib::CatalogFileHash missing(context.Handle(), dir.file(L"missing.exe"), false);
    EXPECT_FALSE(missing.Succeeded());
    EXPECT_EQ(missing.LastError(), DWORD{ERROR_FILE_NOT_FOUND});
    // A held file is hashed through its handle from its first byte, whatever
    // was read before and whatever its path names.
    const pxLib::UniqueHandle held(CreateFileW(
        unsignedFile.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    char skipped[16];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(held.get(), skipped, sizeof(skipped), &read, nullptr));
    const pxLib::CatalogFileHash throughHandle(context.Handle(), dir.file(L"missing.exe"), false,
                                               held.get());
    ASSERT_TRUE(throughHandle.Succeeded());
    EXPECT_EQ(throughHandle.Bytes(), hash.Bytes());
    // Before Windows 8 SHA-256 only where the platform has it: Wine has not.
    EXPECT_FALSE(pxLib::ChooseSha256ForCatalogs(unsignedFile));
    platform->version = kWindows10;
    EXPECT_TRUE(pxLib::ChooseSha256ForCatalogs(unsignedFile));
}

}  // namespace
}  // namespace qvdtest
