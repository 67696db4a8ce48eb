// The C runtime preload on systems before Windows 8, reached through the
// platform's version seam: "%INSTALLDIR%\ucrtbase.dll" from the product's path
// expansion map, loaded once per process. Every scenario is a child process
// with its own silo, since the first attempt's result is kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ChildRun.h"
#include "support/paths/ProductMapKeys.h"
#include "support/system/UniqueHandle.h"

namespace {

using qvdtest::NamedEvent;
using qvdtest::ProductMapKeys;
using qvdtest::TempDir;
using Lines = std::vector<std::string>;

// Wine has a "ucrtbase.dll" of its own and loads it in place of any file of
// that name; its per-program setting makes the child load the file instead.
class NativeRuntimeForChild {
public:
    NativeRuntimeForChild() {
        pxLib::UniqueRegKey overrides;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (m_app.path() + L"\\DllOverrides").c_str(), 0,
                                  nullptr, 0, KEY_SET_VALUE, nullptr, overrides.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t native[] = L"native,builtin";
        EXPECT_EQ(RegSetValueExW(overrides.get(), L"ucrtbase", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(native), sizeof(native)),
                  ERROR_SUCCESS);
    }

private:
    qvdtest::ScopedRegistryKey m_app{HKEY_CURRENT_USER,
                                     L"Software\\Wine\\AppDefaults\\runtime_preload_child.exe"};
};

// The setting is in place before the child starts: it is the first base.
class Child : private NativeRuntimeForChild, public qvdtest::ChildRun {
public:
    Child(const std::wstring& silo, const std::vector<std::wstring>& steps)
        : ChildRun(QVD_RUNTIME_PRELOAD_CHILD, silo, steps) {}
};

// A folder holding the probe library under the runtime's name.
class InstallFolder {
public:
    InstallFolder() {
        EXPECT_TRUE(
            CopyFileW(qvdtest::WinePath(QVD_PRELOAD_PROBE).c_str(), library().c_str(), FALSE));
    }
    const std::wstring& path() const { return m_dir.path(); }
    std::wstring library() const { return m_dir.file(L"ucrtbase.dll"); }

private:
    TempDir m_dir;
};

TEST(RuntimePreload, OlderSystemsLoadTheRuntimeFromTheInstallFolderOnce) {
    ProductMapKeys keys;
    InstallFolder folder;
    // The trailing backslash doubles the one of the path; expansion collapses it.
    ASSERT_TRUE(keys.SetString(L"INSTALLDIR", folder.path() + L"\\"));
    NamedEvent loaded(L"loaded");
    NamedEvent removed(L"removed");
    Child child(keys.silo(), {L"version:6.1", L"preload", L"loaded:" + folder.library(),
                              L"signal:" + loaded.name(), L"wait:" + removed.name(), L"preload",
                              L"loaded:" + folder.library()});
    ASSERT_TRUE(loaded.Wait());
    // A second attempt would now fail to expand the path.
    keys.Clear();
    removed.Set();
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(), (Lines{"0x00000000", "loaded 1", "0x00000000", "loaded 1"}));
}

TEST(RuntimePreload, AFailedExpansionIsTheResultForTheWholeProcess) {
    ProductMapKeys keys;
    InstallFolder folder;
    NamedEvent tried(L"tried");
    NamedEvent defined(L"defined");
    Child child(keys.silo(),
                {L"version:6.1", L"preload", L"signal:" + tried.name(), L"wait:" + defined.name(),
                 L"preload", L"loaded:" + folder.library()});
    ASSERT_TRUE(tried.Wait());
    ASSERT_TRUE(keys.SetString(L"INSTALLDIR", folder.path()));
    defined.Set();
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(), (Lines{"0x80070003", "0x80070003", "loaded 0"}));
}

TEST(RuntimePreload, ALoadFailureGivesTheSystemError) {
    const struct {
        const char* content;  // of ucrtbase.dll in the install folder; null: no such file
        const char* result;
    } cases[] = {
        {nullptr, "0x8007007E"},          // ERROR_MOD_NOT_FOUND
        {"not a library", "0x800700C1"},  // ERROR_BAD_EXE_FORMAT
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        ProductMapKeys keys;
        TempDir folder;
        if (c.content) {
            ASSERT_TRUE(qvdtest::WriteFileUtf8(folder.file(L"ucrtbase.dll"), c.content));
        }
        ASSERT_TRUE(keys.SetString(L"INSTALLDIR", folder.path()));
        Child child(keys.silo(), {L"version:6.1", L"preload", L"preload"});
        ASSERT_EQ(child.Wait(), 0u);
        EXPECT_EQ(child.Lines(), (Lines{c.result, c.result}));
    }
}

// The run logs a failed preload and goes on; the line is read back from the
// log file the product's debug options ask for.
TEST(RuntimePreload, TheRunLogsAFailedPreload) {
    ProductMapKeys keys;
    TempDir logFolder;
    qvdtest::ScopedRegistryKey options(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvex\\" + keys.silo() + L"\\Plexor\\Debug\\DebugOutput");
    ASSERT_TRUE(options.SetDword(L"DebugType", 1));
    ASSERT_TRUE(options.SetDword(L"OutputToFile", 1));
    ASSERT_TRUE(options.SetDword(L"OutputToDebugger", 0));
    ASSERT_TRUE(options.SetDword(L"AppendProcessIdToFile", 0));
    ASSERT_TRUE(options.SetString(L"Directory", logFolder.path()));
    // No INSTALLDIR in the map: the path does not expand.
    Child child(keys.silo(), {L"version:6.1", L"run-preload"});
    ASSERT_EQ(child.Wait(), 0u);
    const std::string bytes = qvdtest::ReadFileUtf8(logFolder.file(L"QVDPlugin.log"));
    ASSERT_GE(bytes.size(), 2u);
    const std::wstring log(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                           (bytes.size() - 2) / 2);
    const std::wstring line =
        L" : Error : qvd::plugin::QVDPluginImpl::run(638) : Unable to Preload ucrtbase.dll - "
        L"hr=0x80070003\r\n";
    EXPECT_NE(log.find(line), std::wstring::npos) << qvdtest::Narrow(log);
}

TEST(RuntimePreload, Windows8AndLaterLoadNothing) {
    ProductMapKeys keys;
    InstallFolder folder;
    ASSERT_TRUE(keys.SetString(L"INSTALLDIR", folder.path()));
    // The calls on newer versions do not use up the older systems' one attempt.
    Child child(keys.silo(), {L"version:6.2", L"preload", L"version:10.0", L"preload",
                              L"version:6.3", L"preload", L"loaded:" + folder.library(),
                              L"version:6.1", L"preload", L"loaded:" + folder.library()});
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(), (Lines{"0x00000000", "0x00000000", "0x00000000", "loaded 0",
                                    "0x00000000", "loaded 1"}));
}

}  // namespace
