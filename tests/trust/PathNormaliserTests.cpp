// The path normaliser with the platform's devices, environment and long names.
#include "TrustTestSupport.h"
#include "support/text/Utf.h"
#include "trust/PathNormaliser.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

std::wstring Normalised(const std::wstring& input) {
    std::u16string out;
    if (!pxLib::NormalisePath(pxLib::ToU16(input), out)) return L"<failed>";
    return pxLib::ToWide(out);
}

// The device a drive letter is mapped to.
std::wstring DeviceOf(const wchar_t* drive) {
    wchar_t target[1000] = {};
    return QueryDosDeviceW(drive, target, 1000) ? target : L"";
}

// A drive letter mapped to a device of the test's own for the life of the object.
class ScopedDevice {
public:
    ScopedDevice(const wchar_t* drive, std::wstring device)
        : m_drive(drive), m_device(std::move(device)) {
        m_defined = DefineDosDeviceW(DDD_RAW_TARGET_PATH, m_drive, m_device.c_str()) != FALSE;
    }
    ~ScopedDevice() {
        if (m_defined)
            DefineDosDeviceW(
                DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, m_drive,
                m_device.c_str());
    }
    bool defined() const { return m_defined; }

private:
    const wchar_t* m_drive;
    std::wstring m_device;
    bool m_defined = false;
};

TEST(PathNormaliser, DevicePathsBecomeDrivePaths) {
    const std::wstring windowsDevice = DeviceOf(L"C:");
    ASSERT_EQ(windowsDevice.rfind(L"\\Device\\", 0), 0u) << Narrow(windowsDevice);
    EXPECT_EQ(Normalised(windowsDevice + L"\\windows\\system32\\kernel32.dll"),
              L"C:\\windows\\system32\\kernel32.dll");

    const std::wstring device = L"\\Device\\QvdTest" + std::to_wstring(GetCurrentProcessId());
    {
        const ScopedDevice mapped(L"Q:", device);
        ASSERT_TRUE(mapped.defined());
        EXPECT_EQ(Normalised(device + L"\\x\\setup.exe"), L"Q:\\x\\setup.exe");
    }
    EXPECT_EQ(Normalised(device + L"\\x\\setup.exe"), L"<failed>");
    EXPECT_EQ(Normalised(L"\\Device\\Mup\\server\\share\\f.exe"), L"\\\\server\\share\\f.exe");
}

TEST(PathNormaliser, PrefixesQuotesVariablesAndShortNames) {
    TempDir dir;
    const std::wstring folder = dir.file(L"A Long Folder Name");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\Setup Program.exe";
    ASSERT_TRUE(WriteFileUtf8(file, "x"));
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(file.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), file);
    wchar_t longDir[MAX_PATH] = {};
    ASSERT_NE(GetLongPathNameW(dir.path().c_str(), longDir, MAX_PATH), 0u);
    const std::wstring longFile =
        std::wstring(longDir) + L"\\A Long Folder Name\\Setup Program.exe";

    ASSERT_TRUE(SetEnvironmentVariableW(L"QVD_TEST_FOLDER", folder.c_str()));
    const struct {
        std::wstring in, out;
    } cases[] = {
        {shortName, longFile},
        {L"\"" + file + L"\"", longFile},
        {L"\\??\\" + file, longFile},
        {L"%QVD_TEST_FOLDER%\\Setup Program.exe", longFile},
        {L"\"%QVD_TEST_FOLDER%\\Setup Program.exe\"", longFile},
        // A file that does not exist keeps the expanded form.
        {L"%QVD_TEST_FOLDER%\\missing.exe", folder + L"\\missing.exe"},
        {L"\\??\\C:\\no\\such.exe", L"C:\\no\\such.exe"},
        {L"%QVD_NOT_SET%\\x.exe", L"%QVD_NOT_SET%\\x.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(Normalised(c.in), c.out) << Narrow(c.in);
    SetEnvironmentVariableW(L"QVD_TEST_FOLDER", nullptr);
}

}  // namespace
}  // namespace qvdtest
