// The version resources of the DLL and the tools, read back as Windows reads
// them (GetFileVersionInfoW under Wine): the project's version and the build
// identity.
#include "ExpectedVersion.h"
#include "TestSupport.h"
#include "VersionResource.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

TEST(VersionResource, TheDllAndTheToolsCarryTheProjectVersionAndTheBuildIdentity) {
    const struct {
        std::wstring path;
        const wchar_t* fileName;
        DWORD fileType;
    } cases[] = {
        {PluginDllPath(), L"QVDPlugin64.dll", VFT_DLL},
        {WinePath(QVD_TEST_QVDHOST), L"qvdhost.exe", VFT_APP},
        {WinePath(QVD_TEST_QVDPACK), L"qvdpack.exe", VFT_APP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.fileName));
        qvdhost::VersionResource resource;
        ASSERT_TRUE(resource.Load(c.path));
        EXPECT_EQ(resource.FileVersion(), QVD_EXPECTED_FILE_VERSION);
        EXPECT_EQ(resource.ProductVersion(), QVD_EXPECTED_FILE_VERSION);
        EXPECT_EQ(resource.FileType(), c.fileType);
        EXPECT_EQ(resource.String(L"FileVersion"), QVD_EXPECTED_FILE_VERSION);
        EXPECT_EQ(resource.String(L"ProductVersion"), QVD_EXPECTED_FILE_VERSION);
        EXPECT_EQ(resource.String(L"CompanyName"), QVD_EXPECTED_COMPANY);
        EXPECT_EQ(resource.String(L"ProductName"), QVD_EXPECTED_PRODUCT);
        EXPECT_EQ(resource.String(L"LegalCopyright"), QVD_EXPECTED_COPYRIGHT);
        EXPECT_EQ(resource.String(L"OriginalFilename"), c.fileName);
        // Each file says what it is, under the product's name.
        EXPECT_EQ(resource.String(L"FileDescription").rfind(QVD_EXPECTED_PRODUCT, 0), 0u)
            << Narrow(resource.String(L"FileDescription"));
    }
    // Two files, two descriptions.
    qvdhost::VersionResource dll, host;
    ASSERT_TRUE(dll.Load(PluginDllPath()));
    ASSERT_TRUE(host.Load(WinePath(QVD_TEST_QVDHOST)));
    EXPECT_NE(dll.String(L"FileDescription"), host.String(L"FileDescription"));
}

TEST(VersionResource, AFileWithoutOneReadsAsNone) {
    qvdhost::VersionResource resource;
    EXPECT_FALSE(resource.Load(WinePath(QVD_TEST_FAKE_INSTALLER)));
    EXPECT_EQ(resource.FileVersion(), L"");
    EXPECT_EQ(resource.String(L"CompanyName"), L"");
}

}  // namespace
}  // namespace qvdtest
