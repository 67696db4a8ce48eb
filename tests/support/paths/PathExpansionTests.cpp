// Path expansion under Wine with a real map beneath this program's own silo.
// The map key is opened once per process, so the environment below settles the
// silo and creates the map before the first expansion; each test then fills
// the map with what it needs.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "ProductMapKeys.h"
#include "support/isolation/IsolationSettings.h"
#include "support/paths/BuiltInFolders.h"
#include "support/paths/PathExpansion.h"
#include "support/text/Utf.h"

namespace {

using qvdtest::Narrow;
using qvdtest::ProductMapKeys;

class ProductMapEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        keys.emplace();
        pxLib::SelectProductRegistryView(pxLib::ToU16(keys->silo()));
        ASSERT_EQ(pxLib::IsolationSettings::RegistryView(), pxLib::kRegistryView64);
    }
    void TearDown() override { keys.reset(); }

    std::optional<ProductMapKeys> keys;
};

ProductMapEnvironment* const g_environment = static_cast<ProductMapEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ProductMapEnvironment));

ProductMapKeys& Map() {
    return *g_environment->keys;
}

struct Expansion {
    bool ok;
    std::wstring output;
};

Expansion Expand(const std::wstring& input) {
    std::wstring output = L"<untouched>";
    const bool ok = pxLib::ExpandPath(input.c_str(), output);
    return {ok, output};
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_DEFAULT, path), S_OK) << csidl;
    return path;
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring WindowsFolder() {
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

// What the 64-bit view of the registry says, read here without the expander.
std::wstring CurrentVersionValue(const wchar_t* name) {
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof(text);
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                           name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text, &size),
              ERROR_SUCCESS)
        << Narrow(name);
    return text;
}

class PathExpansion : public ::testing::Test {
protected:
    void SetUp() override { Map().Clear(); }
    void TearDown() override { Map().Clear(); }
};

// How one map entry is stored.
enum class Stored : uint8_t { Sz, ExpandSz, Path64, Dword, OddLengthSz, EmptySubkey };

struct MapEntry {
    const wchar_t* name;
    Stored stored;
    const wchar_t* text;
};

void Store(const MapEntry& entry) {
    ProductMapKeys& map = Map();
    switch (entry.stored) {
        case Stored::Sz:
            ASSERT_TRUE(map.SetString(entry.name, entry.text));
            break;
        case Stored::ExpandSz:
            ASSERT_TRUE(map.SetString(entry.name, entry.text, REG_EXPAND_SZ));
            break;
        case Stored::Path64:
            ASSERT_TRUE(map.SetPath64(entry.name, entry.text));
            break;
        case Stored::Dword: {
            const DWORD value = 7;
            ASSERT_TRUE(map.SetRaw(entry.name, REG_DWORD, &value, sizeof(value)));
            break;
        }
        case Stored::OddLengthSz: {
            const std::wstring text = entry.text;
            ASSERT_TRUE(map.SetRaw(entry.name, REG_SZ, text.c_str(),
                                   static_cast<DWORD>(text.size() * sizeof(wchar_t) + 1)));
            break;
        }
        case Stored::EmptySubkey:
            ASSERT_TRUE(map.AddSubkey(entry.name));
            break;
    }
}

TEST_F(PathExpansion, NamesComeFromTheMapAsStored) {
    const struct {
        std::vector<MapEntry> map;
        const wchar_t* input;
        bool ok;
        std::wstring output;
    } cases[] = {
        {{{L"INSTALLDIR", Stored::Sz, L"C:\\Program Files\\Prod\\"}},
         L"%INSTALLDIR%\\ucrtbase.dll",
         true,
         L"C:\\Program Files\\Prod\\ucrtbase.dll"},
        {{{L"INSTALLDIR", Stored::Sz, L"C:\\P"}}, L"%installdir%\\x", true, L"C:\\P\\x"},
        {{{L"installdir", Stored::Sz, L"C:\\P"}}, L"%INSTALLDIR%\\x", true, L"C:\\P\\x"},
        {{{L"A", Stored::Sz, L"v"}}, L"%A%\\%a%", false, L"%A%\\%a%"},
        {{{L"A", Stored::Sz, L"x\\%A%"}}, L"%A%", false, L"%A%"},
        {{{L"A", Stored::Sz, L"%B%\\a"}, {L"B", Stored::Path64, L"D:\\b"}},
         L"%A%",
         true,
         L"D:\\b\\a"},
        // A value is read before a subkey of the same name.
        {{{L"P", Stored::Sz, L"D:\\Value"}, {L"P", Stored::Path64, L"D:\\Sub"}},
         L"%P%",
         true,
         L"D:\\Value"},
        // Values of another type or of odd length count as missing.
        {{{L"P", Stored::Dword, nullptr}, {L"P", Stored::Path64, L"D:\\Sub"}},
         L"%P%",
         true,
         L"D:\\Sub"},
        {{{L"P", Stored::OddLengthSz, L"D:\\Odd"}, {L"P", Stored::Path64, L"D:\\Sub"}},
         L"%P%",
         true,
         L"D:\\Sub"},
        {{{L"P", Stored::OddLengthSz, L"D:\\Odd"}}, L"%P%", false, L"%P%"},
        {{{L"P", Stored::EmptySubkey, nullptr}}, L"%P%", false, L"%P%"},
        // REG_EXPAND_SZ is used as stored: no environment variables.
        {{{L"E", Stored::ExpandSz, L"C:\\Plain"}}, L"%E%\\x", true, L"C:\\Plain\\x"},
        {{{L"E", Stored::ExpandSz, L"%SystemRoot%\\x"}}, L"%E%", false, L"%E%"},
        {{{L"X", Stored::Sz, L"dir"}}, L"\\\\server\\share\\%X%", true, L"\\\\server\\share\\dir"},
        {{{L"X", Stored::Sz, L"\\\\server\\"}}, L"%X%\\share", true, L"\\\\server\\share"},
        {{}, L"%%", true, L"%%"},
        {{}, L"C:\\dir%", false, L"C:\\dir%"},
        {{}, L"C:\\%UNDEFINED%\\\\x", false, L"C:\\%UNDEFINED%\\x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.input));
        Map().Clear();
        for (const MapEntry& entry : c.map) Store(entry);
        const Expansion result = Expand(c.input);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(Narrow(result.output), Narrow(c.output));
    }
}

TEST_F(PathExpansion, BuiltInNamesFollowTheMachineUnlessTheMapMovesThem) {
    EXPECT_EQ(Narrow(Expand(L"%CSIDL_SYSTEM%\\drivers").output),
              Narrow(SystemFolder() + L"\\drivers"));
    EXPECT_EQ(Narrow(Expand(L"%csidl_windows%").output), Narrow(WindowsFolder()));
    EXPECT_EQ(Narrow(Expand(L"%CSIDL_COMMON_APPDATA%").output),
              Narrow(ShellFolder(CSIDL_COMMON_APPDATA)));

    ASSERT_TRUE(Map().AddSubkey(L"CSIDL_SYSTEM"));  // says nothing: the built-in folder stands
    EXPECT_EQ(Narrow(Expand(L"%CSIDL_SYSTEM%\\drivers").output),
              Narrow(SystemFolder() + L"\\drivers"));
    ASSERT_TRUE(Map().SetString(L"CSIDL_SYSTEM", L"C:\\Elsewhere"));
    const Expansion moved = Expand(L"%CSIDL_SYSTEM%\\drivers");
    EXPECT_TRUE(moved.ok);
    EXPECT_EQ(Narrow(moved.output), "C:\\Elsewhere\\drivers");
}

TEST_F(PathExpansion, The64BitProgramFoldersComeFromThe64BitView) {
    const std::wstring programFiles = CurrentVersionValue(L"ProgramFilesDir");
    const std::wstring commonFiles = CurrentVersionValue(L"CommonFilesDir");
    ASSERT_FALSE(programFiles.empty());
    ASSERT_FALSE(commonFiles.empty());

    const Expansion x64 = Expand(L"%CSIDL_PROGRAM_FILESX64%\\Prod");
    EXPECT_TRUE(x64.ok);
    EXPECT_EQ(Narrow(x64.output), Narrow(programFiles + L"\\Prod"));
    const Expansion commonX64 = Expand(L"%CSIDL_PROGRAM_FILES_COMMONX64%");
    EXPECT_TRUE(commonX64.ok);
    EXPECT_EQ(Narrow(commonX64.output), Narrow(commonFiles));
    const Expansion x86 = Expand(L"%CSIDL_PROGRAM_FILESX86%");
    EXPECT_EQ(Narrow(x86.output), Narrow(ShellFolder(CSIDL_PROGRAM_FILESX86)));
    EXPECT_NE(Narrow(x86.output), Narrow(programFiles));
}

TEST_F(PathExpansion, FoldersWithoutAPathDoNotExpand) {
    for (const wchar_t* input : {L"%CSIDL_DRIVES%\\x", L"%CSIDL_INTERNET%"}) {
        const Expansion result = Expand(input);
        EXPECT_FALSE(result.ok) << Narrow(input);
        EXPECT_EQ(Narrow(result.output), Narrow(input));
    }
}

TEST_F(PathExpansion, SiloDataFoldersEndInTheAppFolderAndTheSilo) {
    const std::wstring silo = Map().silo();
    const std::wstring common = ShellFolder(CSIDL_COMMON_APPDATA);
    const std::wstring local = ShellFolder(CSIDL_LOCAL_APPDATA);
    const std::wstring longName(60, L'n');
    const struct {
        std::vector<MapEntry> map;
        const wchar_t* input;
        std::wstring output;
    } cases[] = {
        {{}, L"%COMMON_SILO_DATA%", common + L"\\Tavrilon\\" + silo},
        {{}, L"%LOCAL_SILO_DATA%\\log", local + L"\\Tavrilon\\" + silo + L"\\log"},
        {{{L"APPDATAEXTENSION", Stored::Sz, L"Acme"}},
         L"%COMMON_SILO_DATA%",
         common + L"\\Acme\\" + silo},
        {{{L"APPDATAEXTENSION", Stored::Path64, L"%NESTED%"}, {L"NESTED", Stored::Sz, L"Deep"}},
         L"%LOCAL_SILO_DATA%",
         local + L"\\Deep\\" + silo},
        {{{L"APPDATAEXTENSION", Stored::Sz, longName.c_str()}},
         L"%COMMON_SILO_DATA%",
         common + L"\\" + longName.substr(0, 49) + L"\\" + silo},
        {{{L"APPDATAEXTENSION", Stored::Sz, L"%UNDEFINED%"}},
         L"%COMMON_SILO_DATA%",
         common + L"\\Tavrilon\\" + silo},
        // A name leading back to a silo data folder would expand without end.
        {{{L"APPDATAEXTENSION", Stored::Sz, L"%COMMON_SILO_DATA%"}},
         L"%COMMON_SILO_DATA%",
         common + L"\\Tavrilon\\" + silo},
        {{{L"APPDATAEXTENSION", Stored::Sz, L"%LOCAL_SILO_DATA%"}},
         L"%COMMON_SILO_DATA%",
         common + L"\\Tavrilon\\" + silo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.output));
        Map().Clear();
        for (const MapEntry& entry : c.map) Store(entry);
        const Expansion result = Expand(c.input);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(Narrow(result.output), Narrow(c.output));
    }
}

TEST_F(PathExpansion, EveryCallReadsTheMapAfresh) {
    ASSERT_TRUE(Map().SetString(L"A", L"C:\\One"));
    EXPECT_EQ(Narrow(Expand(L"%A%\\x").output), "C:\\One\\x");
    ASSERT_TRUE(Map().SetString(L"A", L"C:\\Two"));
    EXPECT_EQ(Narrow(Expand(L"%A%\\x").output), "C:\\Two\\x");
    Map().Clear();
    EXPECT_FALSE(Expand(L"%A%\\x").ok);
}

TEST_F(PathExpansion, ANullInputLeavesTheOutputAlone) {
    std::wstring output = L"kept";
    EXPECT_FALSE(pxLib::ExpandPath(static_cast<const wchar_t*>(nullptr), output));
    EXPECT_EQ(Narrow(output), "kept");

    ASSERT_TRUE(Map().SetString(L"A", L"a"));
    std::u16string text = u"kept";
    EXPECT_TRUE(pxLib::ExpandPath(std::u16string(u"%A%\\b"), text));
    EXPECT_EQ(pxLib::Utf16ToUtf8(text), "a\\b");
}

TEST_F(PathExpansion, ManyThreadsExpandAtOnce) {
    ASSERT_TRUE(Map().SetString(L"A", L"C:\\a"));
    ASSERT_TRUE(Map().SetPath64(L"B", L"b"));
    const std::wstring expected = L"C:\\a\\b\\" + SystemFolder();
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&wrong, &expected, t] {
            for (int i = 0; i < 100; ++i) {
                const Expansion result = Expand(L"%A%\\%B%\\%CSIDL_SYSTEM%");
                if (!result.ok || result.output != expected) ++wrong[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(BuiltInFolderIds, AreThePlatformConstantsOfTheSameName) {
#define QVD_FOLDER(name) \
    { u## #name, static_cast<uint32_t>(name) }
    const struct {
        const char16_t* name;
        uint32_t id;
    } rows[] = {
        QVD_FOLDER(CSIDL_ADMINTOOLS),
        QVD_FOLDER(CSIDL_ALTSTARTUP),
        QVD_FOLDER(CSIDL_APPDATA),
        QVD_FOLDER(CSIDL_BITBUCKET),
        QVD_FOLDER(CSIDL_CDBURN_AREA),
        QVD_FOLDER(CSIDL_COMMON_ADMINTOOLS),
        QVD_FOLDER(CSIDL_COMMON_ALTSTARTUP),
        QVD_FOLDER(CSIDL_COMMON_APPDATA),
        QVD_FOLDER(CSIDL_COMMON_DESKTOPDIRECTORY),
        QVD_FOLDER(CSIDL_COMMON_DOCUMENTS),
        QVD_FOLDER(CSIDL_COMMON_FAVORITES),
        QVD_FOLDER(CSIDL_COMMON_MUSIC),
        QVD_FOLDER(CSIDL_COMMON_OEM_LINKS),
        QVD_FOLDER(CSIDL_COMMON_PICTURES),
        QVD_FOLDER(CSIDL_COMMON_PROGRAMS),
        QVD_FOLDER(CSIDL_COMMON_STARTMENU),
        QVD_FOLDER(CSIDL_COMMON_STARTUP),
        QVD_FOLDER(CSIDL_COMMON_TEMPLATES),
        QVD_FOLDER(CSIDL_COMMON_VIDEO),
        QVD_FOLDER(CSIDL_COMPUTERSNEARME),
        QVD_FOLDER(CSIDL_CONNECTIONS),
        QVD_FOLDER(CSIDL_CONTROLS),
        QVD_FOLDER(CSIDL_COOKIES),
        QVD_FOLDER(CSIDL_DESKTOP),
        QVD_FOLDER(CSIDL_DESKTOPDIRECTORY),
        QVD_FOLDER(CSIDL_DRIVES),
        QVD_FOLDER(CSIDL_FAVORITES),
        QVD_FOLDER(CSIDL_FONTS),
        QVD_FOLDER(CSIDL_HISTORY),
        QVD_FOLDER(CSIDL_INTERNET),
        QVD_FOLDER(CSIDL_INTERNET_CACHE),
        QVD_FOLDER(CSIDL_LOCAL_APPDATA),
        QVD_FOLDER(CSIDL_MYMUSIC),
        QVD_FOLDER(CSIDL_MYPICTURES),
        QVD_FOLDER(CSIDL_MYVIDEO),
        QVD_FOLDER(CSIDL_NETHOOD),
        QVD_FOLDER(CSIDL_NETWORK),
        QVD_FOLDER(CSIDL_PERSONAL),
        QVD_FOLDER(CSIDL_PRINTERS),
        QVD_FOLDER(CSIDL_PRINTHOOD),
        QVD_FOLDER(CSIDL_PROFILE),
        QVD_FOLDER(CSIDL_PROGRAM_FILES),
        QVD_FOLDER(CSIDL_PROGRAM_FILES_COMMON),
        QVD_FOLDER(CSIDL_PROGRAM_FILES_COMMONX86),
        QVD_FOLDER(CSIDL_PROGRAM_FILESX86),
        QVD_FOLDER(CSIDL_PROGRAMS),
        QVD_FOLDER(CSIDL_RECENT),
        QVD_FOLDER(CSIDL_RESOURCES),
        QVD_FOLDER(CSIDL_RESOURCES_LOCALIZED),
        QVD_FOLDER(CSIDL_SENDTO),
        QVD_FOLDER(CSIDL_STARTMENU),
        QVD_FOLDER(CSIDL_STARTUP),
        QVD_FOLDER(CSIDL_SYSTEM),
        QVD_FOLDER(CSIDL_SYSTEMX86),
        QVD_FOLDER(CSIDL_TEMPLATES),
        QVD_FOLDER(CSIDL_WINDOWS),
    };
#undef QVD_FOLDER
    EXPECT_EQ(std::size(rows) + 4, pxLib::kBuiltInFolderCount);
    for (const auto& row : rows) {
        const pxLib::BuiltInFolder* found = pxLib::FindBuiltInFolder(row.name);
        ASSERT_NE(found, nullptr) << pxLib::Utf16ToUtf8(row.name);
        EXPECT_EQ(found->id, row.id) << pxLib::Utf16ToUtf8(row.name);
    }
}

}  // namespace
