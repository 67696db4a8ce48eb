// The process helpers with real processes under Wine: a copy of the fake
// installer runs from a folder of its own under a name no other test uses,
// until the test lets it end.
#include "support/process/ProcessHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ChildRun.h"
#include "common/TestSupport.h"
#include "support/TestOsVersion.h"
#include "support/process/PathSplitter.h"
#include "support/process/ProcessAccess.h"

namespace {

using pxLib::UniqueHandle;
using qvdtest::AsciiUpper;
using qvdtest::ShortForm;

// How long a started copy may take to show itself.
constexpr DWORD kStartTimeoutMs = 60000;

// The rights a handle was opened with, as the kernel keeps them.
ACCESS_MASK GrantedAccess(HANDLE handle) {
    struct BasicInformation {
        ULONG attributes;
        ACCESS_MASK grantedAccess;
        ULONG counts[12];
    } information{};
    using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    ULONG size = 0;
    if (!query || query(handle, 0, &information, sizeof(information), &size) != 0) return 0;
    return information.grantedAccess;
}

// A copy of the fake installer in "<temp>\...\Long Folder Name", running until
// the test ends; started through its 8.3 path when asked.
class RunningCopy {
public:
    explicit RunningCopy(bool startThroughShortPath = false)
        : m_folder(m_dir.path() + L"\\Long Folder Name"),
          m_name(L"QvdProbe" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++s_copies) + L".exe"),
          m_stop(m_dir.file(L"stop")) {
        const std::wstring started = m_dir.file(L"started");
        EXPECT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        EXPECT_TRUE(qvdtest::CopyFixture(qvdtest::WinePath(QVD_TEST_FAKE_INSTALLER), Image()));
        EXPECT_TRUE(qvdtest::WriteFileUtf8(
            Image() + L".behaviour", "started_marker=" + qvdtest::Narrow(started) +
                                         "\nwait_for_file=" + qvdtest::Narrow(m_stop) + "\n"));
        std::wstring program = startThroughShortPath ? ShortForm(Image()) : Image();
        EXPECT_FALSE(program.empty());
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &info))
            << GetLastError();
        m_process.reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
        m_id = info.dwProcessId;
        EXPECT_TRUE(qvdtest::WaitForFile(started, kStartTimeoutMs));
    }
    ~RunningCopy() {
        qvdtest::WriteFileUtf8(m_stop, "stop");
        if (m_process) qvdtest::WaitForChild(m_process.get());
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    const std::wstring& Folder() const { return m_folder; }
    const std::wstring& Name() const { return m_name; }
    std::wstring Image() const { return m_folder + L"\\" + m_name; }
    DWORD Id() const { return m_id; }

private:
    static inline int s_copies = 0;
    qvdtest::TempDir m_dir;
    std::wstring m_folder;
    std::wstring m_name;
    std::wstring m_stop;
    UniqueHandle m_process;
    DWORD m_id = 0;
};

TEST(IsProcessRunning, FindsTheExecutableByNameAndFolder) {
    const RunningCopy copy;
    qvdtest::TempDir elsewhere;
    // The same name, not running, in another folder.
    ASSERT_TRUE(qvdtest::CopyFixture(qvdtest::WinePath(QVD_TEST_FAKE_INSTALLER),
                                     elsewhere.file(copy.Name())));
    std::wstring slashed = copy.Folder();
    for (wchar_t& c : slashed)
        if (c == L'\\') c = L'/';
    struct Case {
        const char* label;
        std::wstring folder;
        std::wstring name;
        bool found;
    };
    const std::vector<Case> cases = {
        {"as started", copy.Folder(), copy.Name(), true},
        {"ASCII letters in another case", AsciiUpper(copy.Folder()), AsciiUpper(copy.Name()), true},
        {"several trailing backslashes", copy.Folder() + L"\\\\\\", copy.Name(), true},
        {"the folder's 8.3 name", ShortForm(copy.Folder()), copy.Name(), true},
        {"forward slashes", slashed, copy.Name(), true},
        {"the same name in another folder", elsewhere.path(), copy.Name(), false},
        {"the parent folder", copy.Folder() + L"\\..", copy.Name(), false},
        {"another name in the folder", copy.Folder(), L"Other" + copy.Name(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(pxLib::IsProcessRunning(c.folder, c.name), c.found) << qvdtest::Narrow(c.folder);
    }
}

// Wine reports the long image path of a program started through its 8.3
// path; the match then holds against the long folder as well.
TEST(IsProcessRunning, FindsAProgramStartedThroughItsShortPath) {
    const RunningCopy copy(true);
    EXPECT_TRUE(pxLib::IsProcessRunning(copy.Folder(), copy.Name()));
    EXPECT_TRUE(pxLib::IsProcessRunning(ShortForm(copy.Folder()), copy.Name()));
}

TEST(OpenProcessIfInDirectory, KeepsTheHandleOnlyForTheRightFolder) {
    const RunningCopy copy;
    qvdtest::TempDir elsewhere;
    UniqueHandle inFolder = pxLib::OpenProcessIfInDirectory(copy.Id(), copy.Folder());
    ASSERT_TRUE(inFolder);
    EXPECT_EQ(GetProcessId(inFolder.get()), copy.Id());
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(inFolder.get(), &flags));
    EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
    EXPECT_EQ(WaitForSingleObject(inFolder.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the handle can be waited for";

    EXPECT_TRUE(pxLib::OpenProcessIfInDirectory(copy.Id(), L""));
    EXPECT_FALSE(pxLib::OpenProcessIfInDirectory(copy.Id(), elsewhere.path()));
    EXPECT_FALSE(pxLib::OpenProcessIfInDirectory(0xFFFFFFF0, copy.Folder()));
}

// The rights depend on the version: the limited query right from 6.0 on, the
// full query and memory read before, where the image path comes from memory.
TEST(OpenProcessIfInDirectory, OpensWithTheRightsOfTheWindowsVersion) {
    const RunningCopy copy;
    const struct {
        DWORD major, minor;
        ACCESS_MASK access;
    } rows[] = {
        {10, 0, pxLib::kWaitAndQueryLimitedAccess},
        {6, 0, pxLib::kWaitAndQueryLimitedAccess},
        {5, 2, pxLib::kWaitQueryAndReadAccess},
        {5, 1, pxLib::kWaitQueryAndReadAccess},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor));
        const qvdtest::ScopedOsVersion version(row.major, row.minor);
        EXPECT_EQ(pxLib::ProcessMatchAccess(), row.access);
        UniqueHandle process = pxLib::OpenProcessIfInDirectory(copy.Id(), copy.Folder());
        ASSERT_TRUE(process);
        // Windows adds the limited query right to the full one by itself.
        constexpr ACCESS_MASK kVersionBound = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
        const ACCESS_MASK granted = GrantedAccess(process.get());
        EXPECT_EQ(granted & row.access, row.access);
        EXPECT_EQ(granted & kVersionBound, row.access & kVersionBound);
        EXPECT_TRUE(pxLib::IsProcessRunning(copy.Folder(), copy.Name()));
    }
}

TEST(GetProcessImagePath, ReadsTheImageOnEveryVersion) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    for (DWORD major : {10u, 5u}) {
        SCOPED_TRACE(major);
        const qvdtest::ScopedOsVersion version(major, major == 5 ? 1 : 0);
        const UniqueHandle process(
            OpenProcess(pxLib::kQueryAndReadAccess, FALSE, GetCurrentProcessId()));
        std::wstring image;
        ASSERT_TRUE(pxLib::GetProcessImagePath(process.get(), image));
        EXPECT_EQ(pxLib::SplitPath(image).fileName, pxLib::SplitPath(self).fileName);
        EXPECT_EQ(pxLib::SplitPath(image).directory, pxLib::SplitPath(self).directory);
    }
    std::wstring image = L"unchanged";
    EXPECT_FALSE(pxLib::GetProcessImagePath(nullptr, image));
    EXPECT_EQ(image, L"unchanged");
}

TEST(SplitPath, GivesTheFileNameAndTheLongFolder) {
    qvdtest::TempDir dir;
    const std::wstring longFolder = dir.path() + L"\\A Long Folder Name";
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    const std::wstring shortFolder = ShortForm(longFolder);
    ASSERT_FALSE(shortFolder.empty());
    ASSERT_NE(shortFolder, longFolder);
    struct Case {
        std::wstring path;
        std::wstring fileName;
        std::wstring folder;
    };
    const std::vector<Case> cases = {
        {L"C:\\no such folder\\setup.exe", L"setup.exe", L"C:\\no such folder\\"},
        {L"C:/no such folder/setup.exe", L"setup.exe", L"C:\\no such folder\\"},
        {L"C:setup.exe", L"setup.exe", L"C:\\"},
        {L"setup.exe", L"setup.exe", L""},
        {L"\\\\server\\share\\setup.exe", L"setup.exe", L"\\\\server\\share\\"},
        {shortFolder + L"\\setup.exe", L"setup.exe", longFolder + L"\\"},
        {shortFolder + L"\\\\\\setup.exe", L"setup.exe", longFolder + L"\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qvdtest::Narrow(c.path));
        const pxLib::PathParts parts = pxLib::SplitPath(c.path);
        EXPECT_EQ(parts.fileName, c.fileName);
        EXPECT_EQ(parts.directory, c.folder);
    }
}

}  // namespace
