// The isolation settings are settled once per process (per copy of the code),
// so each scenario loads its own copy of the probe DLL from a folder of a
// temporary tree, with or without an "isolate.ini" above it, and compares
// what the copy reports.
#include "support/isolation/IsolationSettings.h"
#include "support/system/SearchOwners.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/TestSupport.h"
#include "support/logging/TraceRecorder.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"
#include "support/system/SearchOwners.h"

namespace {

using qvdtest::Narrow;

enum class Encoding : uint8_t { Utf16WithBom, EightBit };

struct IsolateIni {
    std::wstring folder;  // relative to the tree
    Encoding encoding;
    std::string text;
};

// "\\?\" lets folders and files go past MAX_PATH.
std::wstring Extended(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

void RemoveTree(const std::wstring& extendedPath) {
    WIN32_FIND_DATAW data;
    {
        const pxLib::UniqueFindHandle find(FindFirstFileW((extendedPath + L"\\*").c_str(), &data));
        if (find) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = extendedPath + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(find.get(), &data));
        }
    }
    RemoveDirectoryW(extendedPath.c_str());
}

// A fresh temporary folder, removed through "\\?\" paths. (The shell's
// deletion under Wine must never see a tree deeper than MAX_PATH: it loses
// the path and goes on in the current directory.)
class ProbeTree {
public:
    ProbeTree() {
        wchar_t base[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, base);
        static LONG counter = 0;
        for (int attempt = 0; length != 0 && attempt < 100; ++attempt) {
            const std::wstring candidate = std::wstring(base, length) + L"qvdiso-" +
                                           std::to_wstring(GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(InterlockedIncrement(&counter));
            if (CreateDirectoryW(candidate.c_str(), nullptr)) {
                m_path = candidate;
                break;
            }
        }
        EXPECT_FALSE(m_path.empty());
    }
    ~ProbeTree() {
        if (!m_path.empty()) RemoveTree(Extended(m_path));
    }
    ProbeTree(const ProbeTree&) = delete;
    ProbeTree& operator=(const ProbeTree&) = delete;
    const std::wstring& path() const { return m_path; }
    std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

bool MakeFolders(const std::wstring& base, const std::wstring& relative) {
    std::wstring path = base;
    size_t start = 0;
    while (start < relative.size()) {
        const size_t end = relative.find(L'\\', start);
        path += L"\\" + relative.substr(start, end == std::wstring::npos ? end : end - start);
        if (!CreateDirectoryW(Extended(path).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return true;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    pxLib::UniqueHandle file{CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::string Encode(const std::string& text, Encoding encoding) {
    if (encoding == Encoding::EightBit) return text;
    const std::u16string wide = pxLib::Utf8ToUtf16(text);
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// Places a copy of the probe DLL (a copy, not a link: Wine's loader knows a
// loaded file by its identity and would hand back that module) and the "isolate.ini"
// files, then loads the copy and runs the commands in it.
class ProbeRun {
public:
    ProbeRun(const std::wstring& probeFolder, const std::vector<IsolateIni>& inis = {}) {
        for (const IsolateIni& ini : inis) {
            EXPECT_TRUE(MakeFolders(m_tree.path(), ini.folder));
            const std::wstring folder =
                ini.folder.empty() ? m_tree.path() : m_tree.file(ini.folder);
            EXPECT_TRUE(WriteBytes(folder + L"\\isolate.ini", Encode(ini.text, ini.encoding)));
        }
        EXPECT_TRUE(MakeFolders(m_tree.path(), probeFolder));
        m_probe = Extended(m_tree.file(probeFolder) + L"\\isolation_probe.dll");
        EXPECT_TRUE(
            CopyFileW(qvdtest::WinePath(QVD_ISOLATION_PROBE).c_str(), m_probe.c_str(), TRUE));
    }

    std::string Run(const std::vector<std::wstring>& commands) {
        using RunProbe = size_t (*)(const wchar_t*, char*, size_t);
        pxLib::UniqueLibrary probe(LoadLibraryW(m_probe.c_str()));
        if (!probe) {
            ADD_FAILURE() << "LoadLibraryW failed: " << GetLastError();
            return {};
        }
        const auto run = reinterpret_cast<RunProbe>(
            reinterpret_cast<void*>(GetProcAddress(probe.get(), "RunIsolationProbe")));
        if (!run) {
            ADD_FAILURE() << "RunIsolationProbe is missing";
            return {};
        }
        std::wstring text;
        for (const std::wstring& command : commands) text += command + L"\n";
        std::string report(64 * 1024, '\0');
        const size_t length = run(text.c_str(), report.data(), report.size());
        EXPECT_LE(length, report.size());
        report.resize(std::min(length, report.size()));
        return report;
    }

private:
    ProbeTree m_tree;
    std::wstring m_probe;
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

const std::string kSilo = "{ABCDEF01-2345-6789-ABCD-EF0123456789}";
const std::string kLowerSilo = "{abcdef01-2345-6789-abcd-ef0123456789}";
const std::string kOtherSilo = "{11111111-2222-3333-4444-555555555555}";

TEST(FreshIsolationSettings, WithoutAnIsolateIniTheGivenSiloSettlesOnce) {
    ProbeRun run(L"app");
    EXPECT_EQ(run.Run({L"view", L"root", L"setview:100", L"select:no-braces", L"init:",
                       L"init:ABCDEF01-2345-6789-ABCD-EF0123456789",
                       L"init:" + qvdtest::Widen(kLowerSilo), L"init:" + qvdtest::Widen(kOtherSilo),
                       L"silo", L"view", L"isoroot", L"product", L"root", L"product", L"setview:7",
                       L"setview:100", L"setview:0", L"view"}),
              Lines({"view=0x0", "root=0", "setview=0", "select=0x0", "init=0", "init=0", "init=1",
                     "init=1", "silo=" + kLowerSilo, "view=0x200",
                     "isoroot=Software\\Tavrilon\\Isolation\\" + kLowerSilo, "product=", "root=1",
                     "product=SOFTWARE\\Halvex\\" + kLowerSilo, "setview=0", "setview=1",
                     "setview=1", "view=0x100"}));
}

struct IniScenario {
    const char* label;
    std::wstring probeFolder;
    IsolateIni ini;
    std::vector<std::wstring> commands;
    std::vector<std::string> expected;
};

TEST(FreshIsolationSettings, IsolateIniAboveTheModuleDecides) {
    const std::string hive98 = "Software\\QVDTest\\" + std::string(98 - 17, 'h');
    const std::string hive99 = hive98 + "h";
    const std::vector<IniScenario> scenarios = {
        {"8-bit file beside the module, Native64 1",
         L"app",
         {L"app", Encoding::EightBit, "[isolation]\nsilo=" + kSilo + "\nNative64=1\n"},
         {L"init:", L"silo", L"view", L"isoroot"},
         {"init=1", "silo=" + kSilo, "view=0x0",
          "isoroot=Software\\Tavrilon\\Isolation\\" + kSilo}},
        {"UTF-16 file two folders up, names in other cases, own hive",
         L"product\\bin\\x64",
         {L"product", Encoding::Utf16WithBom,
          "; written by the installer\r\n[Other]\r\nsilo=" + kOtherSilo +
              "\r\n[ISOLATION]\r\n  SILO = " + kLowerSilo +
              "  \r\nreghive=\"Software\\QVDTest\\Hive\"\r\nnative64=1\r\n"},
         {L"init:", L"silo", L"view", L"isoroot"},
         {"init=1", "silo=" + kLowerSilo, "view=0x0",
          "isoroot=Software\\QVDTest\\Hive\\" + kLowerSilo}},
        {"silo of 39 characters, Native64 0, hive of 98 characters",
         L"app",
         {L"", Encoding::EightBit,
          "[isolation]\nsilo=" + kSilo + "0\nNative64=0\nreghive=" + hive98 + "\n"},
         {L"init:", L"init:" + qvdtest::Widen(kSilo), L"silo", L"view", L"isoroot"},
         {"init=0", "init=1", "silo=" + kSilo, "view=0x200", "isoroot=" + hive98 + "\\" + kSilo}},
        {"silo without braces, Native64 not exactly 1, hive of 99 characters",
         L"app",
         {L"app", Encoding::Utf16WithBom,
          "[isolation]\nsilo=ABCDEF01-2345-6789-ABCD-EF0123456789\nNative64=11\nreghive=" + hive99 +
              "\n"},
         {L"init:", L"init:" + qvdtest::Widen(kSilo), L"view", L"isoroot"},
         {"init=0", "init=1", "view=0x200", "isoroot="}},
        {"no silo in the file",
         L"app",
         {L"app", Encoding::EightBit, "[isolation]\nNative64=1\n[other]\nsilo=" + kSilo + "\n"},
         {L"init:", L"silo", L"view"},
         {"init=0", "silo=", "view=0x0"}},
    };
    for (const IniScenario& s : scenarios) {
        SCOPED_TRACE(s.label);
        ProbeRun run(s.probeFolder, {s.ini});
        EXPECT_EQ(run.Run(s.commands), Lines(s.expected));
    }
}

TEST(FreshIsolationSettings, TheSearchStopsAtPathsLongerThanMaxPath) {
    std::wstring deep;
    for (int i = 0; i < 6; ++i) deep += (i ? L"\\" : L"") + std::wstring(40, L'a' + i);
    ProbeRun run(deep,
                 {{L"", Encoding::EightBit, "[isolation]\nsilo=" + kSilo + "\nNative64=1\n"}});
    EXPECT_EQ(run.Run({L"init:", L"init:" + qvdtest::Widen(kOtherSilo), L"view"}),
              Lines({"init=0", "init=1", "view=0x200"}));
}

// The product keys live in HKLM\SOFTWARE\Halvex\<silo>; each run uses fresh silos.
class ProductViewSelection : public ::testing::Test {
protected:
    void Place(const std::wstring& silo, REGSAM view) {
        m_keys.push_back(std::make_unique<qvdtest::ScopedRegistryKey>(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvex\\" + silo, view));
    }

    std::vector<std::unique_ptr<qvdtest::ScopedRegistryKey>> m_keys;
};

TEST_F(ProductViewSelection, PrefersThe64BitViewAndFallsBackTo32) {
    struct Case {
        const char* label;
        bool in64;
        bool in32;
        const char* view;
    };
    for (const Case& c :
         {Case{"64-bit view only", true, false, "0x100"},
          Case{"32-bit view only", false, true, "0x200"}, Case{"both views", true, true, "0x100"},
          Case{"neither view", false, false, "0x100"}}) {
        SCOPED_TRACE(c.label);
        const std::wstring silo = qvdtest::NewGuidText();
        if (c.in64) Place(silo, KEY_WOW64_64KEY);
        if (c.in32) Place(silo, KEY_WOW64_32KEY);
        ProbeRun run(L"app");
        EXPECT_EQ(
            run.Run({L"select:" + silo, L"product"}),
            Lines({std::string("select=") + c.view, "product=SOFTWARE\\Halvex\\" + Narrow(silo)}));
    }
}

TEST_F(ProductViewSelection, TheFirstSelectionInAProcessStays) {
    const std::wstring first = qvdtest::NewGuidText();
    const std::wstring second = qvdtest::NewGuidText();
    Place(first, KEY_WOW64_32KEY);
    Place(second, KEY_WOW64_64KEY);
    ProbeRun run(L"app");
    EXPECT_EQ(
        run.Run({L"select:" + first, L"select:" + second, L"product"}),
        Lines({"select=0x200", "select=0x200", "product=SOFTWARE\\Halvex\\" + Narrow(first)}));
}

TEST_F(ProductViewSelection, WithoutAJobSiloTheFileNamesTheProduct) {
    const std::wstring silo = qvdtest::NewGuidText();
    Place(silo, KEY_WOW64_32KEY);
    ProbeRun run(L"app", {{L"app", Encoding::EightBit,
                           "[isolation]\nsilo=" + Narrow(silo) + "\nNative64=1\n"}});
    EXPECT_EQ(
        run.Run({L"init:", L"view", L"select:", L"product"}),
        Lines({"init=1", "view=0x0", "select=0x200", "product=SOFTWARE\\Halvex\\" + Narrow(silo)}));
}

TEST_F(ProductViewSelection, AnEmptyJobSiloChangesNothing) {
    const std::wstring fileSilo = qvdtest::NewGuidText();
    const std::wstring jobSilo = qvdtest::NewGuidText();
    Place(fileSilo, KEY_WOW64_32KEY);
    Place(jobSilo, KEY_WOW64_64KEY);
    ProbeRun run(L"app", {{L"app", Encoding::EightBit,
                           "[isolation]\nsilo=" + Narrow(fileSilo) + "\nNative64=1\n"}});
    // The empty silo is refused: nothing is settled, not even the file's silo,
    // so a later job with a real silo still chooses the product.
    EXPECT_EQ(run.Run({L"select:", L"silo", L"product", L"select:" + jobSilo, L"product"}),
              Lines({"select=0x0", "silo=", "product=", "select=0x100",
                     "product=SOFTWARE\\Halvex\\" + Narrow(jobSilo)}));
}

// In this test program's own process: racing first callers agree on one silo.
TEST(IsolationSettingsInProcess, ConcurrentFirstCallsSettleOneSilo) {
    std::vector<std::u16string> silos;
    for (int i = 0; i < 8; ++i) silos.push_back(pxLib::ToU16(qvdtest::NewGuidText()));
    std::vector<int> initialised(silos.size(), 0);
    std::vector<std::u16string> seen(silos.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < silos.size(); ++i)
        threads.emplace_back([&, i] {
            initialised[i] = pxLib::IsolationSettings::Initialise(silos[i].c_str()) ? 1 : 0;
            seen[i] = pxLib::IsolationSettings::Silo();
        });
    for (std::thread& t : threads) t.join();

    const std::set<std::u16string> given(silos.begin(), silos.end());
    for (size_t i = 0; i < silos.size(); ++i) {
        EXPECT_EQ(initialised[i], 1);
        EXPECT_EQ(seen[i], seen[0]);
    }
    EXPECT_EQ(given.count(seen[0]), 1u);
}

// A flag that is not a view is refused whether or not this process has
// settled its settings, and the refusal is traced.
TEST(IsolationSettingsInProcess, ARefusedViewIsTraced) {
    qvdtest::TraceRecorder recorder;
    qvdtest::ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Error), 1);
    const uint32_t before = pxLib::IsolationSettings::RegistryView();
    EXPECT_FALSE(pxLib::IsolationSettings::SetRegistryView(7));
    EXPECT_EQ(pxLib::IsolationSettings::RegistryView(), before);
    ASSERT_EQ(recorder.events.size(), 1u);
    ASSERT_EQ(recorder.events[0].args.size(), 1u);
    EXPECT_EQ(recorder.events[0].args[0], std::string("\x07\0\0\0", 4));
}

}  // namespace
