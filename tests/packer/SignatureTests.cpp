// Packages in signed executables under Wine: the one qvdpack adds behind the
// certificate entry, with the directory extended, keeps the signature valid;
// the same package appended without extending the directory breaks it.
#include "PackerTestSupport.h"
#include "common/TestSupport.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>
#include <softpub.h>
#include <wintrust.h>

namespace {

using packertest::Bytes;

LONG VerifyTrust(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &data);
    return result;
}

std::u16string U16(const std::wstring& s) {
    return pxLib::ToU16(s);
}

void ExpectSampleLayout(const std::wstring& path) {
    ZOLT::CIRT_FileDataExtender data;
    ASSERT_EQ(data.Load(path), 0);
    uint32_t kind = 0;
    std::u16string text;
    ASSERT_TRUE(data.GetCollection()->GetUInt32(1001, kind));
    ASSERT_TRUE(data.GetCollection()->GetString(1002, text));
    EXPECT_EQ(kind, 64u);
    EXPECT_EQ(text, u"sample layout data");
}

TEST(SignedPackage, TheToolsSignedFixtureKeepsItsSignatureAndCarriesTheLayout) {
    const std::wstring signedFile = qvdtest::InstallerFixture(L"maker-layout");
    EXPECT_EQ(VerifyTrust(qvdtest::InstallerFixture(L"maker")), 0);
    EXPECT_EQ(VerifyTrust(signedFile), 0);
    ExpectSampleLayout(signedFile);

    // The package sits directly behind the first certificate entry.
    const Bytes bytes = packertest::ReadBytes(U16(signedFile));
    ZOLT::CFilePackerEx packer;
    ASSERT_EQ(packer.Open(signedFile), 0);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    ASSERT_TRUE(packer.HasPackage());
    EXPECT_EQ(pe->GetWinCertificateOffset(), pe->GetEndOfRawData());
    EXPECT_EQ(packer.GetPackageOffset(),
              pe->GetEndOfRawData() + packertest::GetU32(bytes, pe->GetEndOfRawData()));
    EXPECT_EQ(uint64_t{pe->GetWinCertificateOffset()} + pe->GetWinCertificateLength(),
              bytes.size());
    EXPECT_EQ(pe->GetWinCertificateLength() % 8, 0u);
}

TEST(SignedPackage, TheUnsignedFixtureCarriesTheLayoutBehindFourZeroBytes) {
    const std::wstring file = qvdtest::InstallerFixture(L"unsigned-layout");
    EXPECT_EQ(VerifyTrust(file), TRUST_E_NOSIGNATURE);
    ExpectSampleLayout(file);
    ZOLT::CFilePackerEx packer;
    ASSERT_EQ(packer.Open(file), 0);
    const Bytes bytes = packertest::ReadBytes(U16(file));
    EXPECT_EQ(packertest::GetU32(bytes, packer.GetPEHelper()->GetEndOfRawData()), 0u);
    EXPECT_EQ(packer.GetPackageOffset(), packer.GetPEHelper()->GetEndOfRawData() + 4u);
}

TEST(SignedPackage, AppendingWithoutExtendingTheDirectoryBreaksTheSignature) {
    qvdtest::TempDir dir;
    const std::wstring path = dir.file(L"appended.exe");
    Bytes bytes = packertest::ReadBytes(U16(qvdtest::InstallerFixture(L"maker")));
    auto layout = packertest::LayoutCollection(64, u"appended");
    const Bytes package = packertest::PackageOf(
        {{u"FDELayoutData", ZOLT::kLayoutArchiveType, packertest::SavedCollection(*layout)}});
    bytes.insert(bytes.end(), package.begin(), package.end());
    bytes.resize((bytes.size() + 7) & ~size_t{7});
    ASSERT_TRUE(packertest::WriteBytes(U16(path), bytes));

    EXPECT_EQ(VerifyTrust(path), TRUST_E_NOSIGNATURE);
    // The reader does not look at the directory: it still finds the package.
    ZOLT::CIRT_FileDataExtender data;
    ASSERT_EQ(data.Load(path), 0);
    std::u16string text;
    EXPECT_TRUE(data.GetCollection()->GetString(1002, text));
    EXPECT_EQ(text, u"appended");
}

}  // namespace
