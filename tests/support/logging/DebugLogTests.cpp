// The debug log under Wine: options from the registry beneath the product
// registry root, the module filter, the line format, debugger output and the
// log file. The options are loaded once per process, so every scenario runs a
// child program with its own silo.
#include "common/ChildRun.h"
#include "common/TestSupport.h"
#include "support/system/SearchOwners.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

using pxLib::UniqueHandle;
using qvdtest::NamedEvent;
using qvdtest::ScopedRegistryKey;
using qvdtest::TempDir;

constexpr DWORD kChildTimeoutMs = 60000;

std::wstring Hex4(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"%04X", static_cast<unsigned>(value));
    return text;
}

struct Child {
    UniqueHandle process;
    DWORD pid = 0;

    DWORD Wait() const { return qvdtest::WaitForChild(process.get()); }
};

struct DebuggedRun {
    DWORD pid = 0;
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::string> strings;  // what reached the debugger, as UTF-8
};

// A silo with its product key, the debug keys beneath it on demand, and a
// folder holding a copy of the child program (its log files land beside it).
class Scenario {
public:
    Scenario()
        : m_silo(qvdtest::NewGuidText()),
          m_root(L"SOFTWARE\\Halvex\\" + m_silo),
          m_product(HKEY_LOCAL_MACHINE, m_root),
          m_program(m_folder.file(L"host.exe")) {
        EXPECT_TRUE(
            CopyFileW(qvdtest::WinePath(QVD_DEBUGLOG_CHILD).c_str(), m_program.c_str(), FALSE));
    }

    ScopedRegistryKey& DebugOutput() {
        if (!m_output)
            m_output.emplace(HKEY_LOCAL_MACHINE, m_root + L"\\Plexor\\Debug\\DebugOutput");
        return *m_output;
    }
    ScopedRegistryKey& Modules() {
        DebugOutput();
        if (!m_modules) m_modules.emplace(HKEY_LOCAL_MACHINE, m_output->path() + L"\\Modules");
        return *m_modules;
    }
    ScopedRegistryKey& CrashHandler() {
        if (!m_crash)
            m_crash.emplace(HKEY_LOCAL_MACHINE, m_root + L"\\Plexor\\Debug\\CrashHandler");
        return *m_crash;
    }
    // Sets many DWORD options at once.
    void Options(std::initializer_list<std::pair<const wchar_t*, DWORD>> values) {
        for (const auto& [name, value] : values) EXPECT_TRUE(DebugOutput().SetDword(name, value));
    }
    // Every prefix off: lines are the bare message and the line end.
    void BareLines() {
        Options({{L"PrependThreadId", 0},
                 {L"PrependProcessId", 0},
                 {L"PrependDateTime", 0},
                 {L"PrependModuleName", 0},
                 {L"PrependType", 0}});
    }

    Child Start(const std::vector<std::wstring>& steps, DWORD flags = 0) const {
        std::wstring command = L"\"" + m_program + L"\" " + m_silo;
        for (const auto& step : steps) command += L" \"" + step + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        Child child;
        if (!CreateProcessW(m_program.c_str(), command.data(), nullptr, nullptr, FALSE, flags,
                            nullptr, m_folder.path().c_str(), &startup, &info)) {
            ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
            return child;
        }
        UniqueHandle thread(info.hThread);
        child.process.reset(info.hProcess);
        child.pid = info.dwProcessId;
        return child;
    }
    // Runs the child to its end; its exit code must be 0.
    DWORD Run(const std::vector<std::wstring>& steps) const {
        const Child child = Start(steps);
        EXPECT_EQ(child.Wait(), 0u);
        return child.pid;
    }
    DebuggedRun RunUnderDebugger(const std::vector<std::wstring>& steps) const;

    const TempDir& folder() const { return m_folder; }
    std::wstring LogFor(DWORD pid) const {
        return m_folder.file(L"QVDPlugin-0x" + Hex4(pid) + L".log");
    }
    std::wstring SharedLog() const { return m_folder.file(L"QVDPlugin.log"); }

private:
    TempDir m_folder;
    std::wstring m_silo;
    std::wstring m_root;
    ScopedRegistryKey m_product;
    std::optional<ScopedRegistryKey> m_output, m_modules, m_crash;
    std::wstring m_program;
};

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t unit = info.fUnicode ? 2 : 1;
    std::string raw(static_cast<size_t>(info.nDebugStringLength) * unit, '\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, raw.data(), raw.size(), &read))
        return {};
    raw.resize(read);
    if (!info.fUnicode) return raw.substr(0, raw.find('\0'));
    std::u16string wide(raw.size() / 2, u'\0');
    memcpy(wide.data(), raw.data(), wide.size() * 2);
    return pxLib::Utf16ToUtf8(wide.substr(0, wide.find(u'\0')));
}

DebuggedRun Scenario::RunUnderDebugger(const std::vector<std::wstring>& steps) const {
    DebuggedRun run;
    const Child child = Start(steps, DEBUG_ONLY_THIS_PROCESS);
    run.pid = child.pid;
    if (!child.process) return run;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, kChildTimeoutMs)) {
            ADD_FAILURE() << "no debug event in time";
            TerminateProcess(child.process.get(), 99);
            break;
        }
        DWORD status = DBG_CONTINUE;
        bool ended = false;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                UniqueHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                UniqueHandle(event.u.LoadDll.hFile);
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                run.strings.push_back(ReadDebugString(child.process.get(), event.u.DebugString));
                break;
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                    status = DBG_EXCEPTION_NOT_HANDLED;
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                run.exitCode = event.u.ExitProcess.dwExitCode;
                ended = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (ended) break;
    }
    return run;
}

// Only the strings of our own lines: the loader may report things too.
std::vector<std::string> Ours(const std::vector<std::string>& strings) {
    std::vector<std::string> ours;
    for (const auto& s : strings)
        if (s.find("marker") != std::string::npos) ours.push_back(s);
    return ours;
}

std::vector<std::wstring> LogFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const pxLib::UniqueFindHandle search(FindFirstFileW((folder + L"\\*.log").c_str(), &found));
    if (!search) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(search.get(), &found));
    return names;
}

std::string Bytes(const std::wstring& path) {
    return qvdtest::ReadFileUtf8(path);
}

// A log file's text after its byte-order mark, as UTF-8; "<no mark>" when it has none.
std::string LogText(const std::wstring& path) {
    const std::string bytes = Bytes(path);
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return "<no mark>";
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return pxLib::Utf16ToUtf8(text);
}

TEST(DebugLog, WithoutTheDebugOutputKeyNothingIsWrittenAnywhere) {
    for (const bool crashHandlerOnly : {false, true}) {
        SCOPED_TRACE(crashHandlerOnly ? "only CrashHandler" : "no Debug key");
        Scenario scenario;
        if (crashHandlerOnly) {
            ASSERT_TRUE(scenario.CrashHandler().SetDword(L"DumpOnException", 1));
        }
        const DebuggedRun run =
            scenario.RunUnderDebugger({L"E:marker error", L"W:marker warning", L"I:marker info"});
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(Ours(run.strings).empty());
        EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
    }
}

TEST(DebugLog, DebugTypeIsTheLowestTypeWritten) {
    const struct {
        DWORD debugType;
        const char* expected;
    } cases[] = {
        {1, "Information : info\r\nWarning : warn\r\nError : err\r\n"},
        {2, "Warning : warn\r\nError : err\r\n"},
        {3, "Error : err\r\n"},
        {0, nullptr},
        {4, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.debugType);
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", c.debugType},
                          {L"OutputToFile", 1},
                          {L"AppendProcessIdToFile", 0},
                          {L"PrependType", 1}});
        scenario.Run({L"I:info", L"W:warn", L"E:err"});
        if (c.expected) {
            EXPECT_EQ(LogText(scenario.SharedLog()), c.expected);
        } else {
            EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
        }
    }
}

TEST(DebugLog, ModulesListDecidesForThisModule) {
    const struct {
        const char* name;
        DWORD exclusive;
        std::vector<std::pair<const wchar_t*, DWORD>> modules;
        const wchar_t* stringModule;  // a value of another type, ignored
        bool written;
    } cases[] = {
        {"exclusive, only another module", 1, {{L"pxSet", 1}}, nullptr, false},
        {"exclusive, this module too", 1, {{L"pxSet", 1}, {L"QVDPlugin", 1}}, nullptr, true},
        {"exclusive, this module in other case", 1, {{L"qvdplugin", 1}}, nullptr, true},
        {"exclusive, this module only as a string", 1, {{L"pxSet", 1}}, L"QVDPlugin", false},
        {"exclusive, nothing but a string", 1, {}, L"QVDPlugin", true},
        {"this module off", 0, {{L"QVDPlugin", 0}}, nullptr, false},
        {"another module off", 0, {{L"pxSet", 0}}, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", 3},
                          {L"OutputToFile", 1},
                          {L"AppendProcessIdToFile", 0},
                          {L"ExclusiveModules", c.exclusive}});
        for (const auto& [name, value] : c.modules) {
            ASSERT_TRUE(scenario.Modules().SetDword(name, value));
        }
        if (c.stringModule) {
            ASSERT_TRUE(scenario.Modules().SetString(c.stringModule, L"1"));
        }
        scenario.Run({L"E:err"});
        if (c.written) {
            EXPECT_EQ(LogText(scenario.SharedLog()), "err\r\n");
        } else {
            EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
        }
    }
}

TEST(DebugLog, LinesEndInExactlyOneCrLf) {
    for (const DWORD appendNewLine : {1u, 0u}) {
        SCOPED_TRACE(appendNewLine);
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", 1},
                          {L"OutputToFile", 1},
                          {L"AppendProcessIdToFile", 0},
                          {L"AppendNewLine", appendNewLine}});
        scenario.Run({L"E:one\\n", L"E:two\\r\\n\\r\\n", L"E:three"});
        EXPECT_EQ(LogText(scenario.SharedLog()),
                  appendNewLine ? "one\r\ntwo\r\nthree\r\n" : "one\ntwo\r\n\r\nthree");
    }
}

TEST(DebugLog, DefaultsGiveTheFullPrefixAndAFileNamedByProcessIdBesideTheProgram) {
    Scenario scenario;
    scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}});
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const DWORD pid = scenario.Run({L"E:StaticVerifyTrustFactory(54) : spTrust==NULL"});
    SYSTEMTIME after{};
    GetLocalTime(&after);

    // The logger's name is "QVDPlugin", whatever the program is called.
    EXPECT_EQ(LogFilesIn(scenario.folder().path()),
              std::vector<std::wstring>{L"QVDPlugin-0x" + Hex4(pid) + L".log"});
    const std::string text = LogText(scenario.LogFor(pid));
    const std::regex line(
        "(\\d{4})-(\\d{2})-(\\d{2})-\\d{2}-\\d{2}-\\d{2}-\\d{3} : QVDPlugin : 0x" +
        qvdtest::Narrow(Hex4(pid)) +
        " : 0x[0-9A-F]{4,} : Error : StaticVerifyTrustFactory\\(54\\) : spTrust==NULL\r\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line)) << text;
    const int day = std::stoi(match[3]);
    EXPECT_TRUE(day == before.wDay || day == after.wDay);
    EXPECT_TRUE(std::stoi(match[1]) == before.wYear || std::stoi(match[1]) == after.wYear);
}

TEST(DebugLog, ANewFileGetsTheMarkAndAnExistingOneIsAppendedTo) {
    Scenario scenario;
    scenario.BareLines();
    scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}, {L"AppendProcessIdToFile", 0}});
    scenario.Run({L"E:first"});
    const std::string afterFirst = Bytes(scenario.SharedLog());
    EXPECT_EQ(afterFirst, std::string("\xFF\xFE"
                                      "f\0i\0r\0s\0t\0\r\0\n\0",
                                      16));
    scenario.Run({L"E:second"});
    EXPECT_EQ(LogText(scenario.SharedLog()), "first\r\nsecond\r\n");

    // A file that was there before (without a mark) only grows.
    ASSERT_TRUE(DeleteFileW(scenario.SharedLog().c_str()));
    ASSERT_TRUE(qvdtest::WriteFileUtf8(scenario.SharedLog(), std::string("x\0", 2)));
    scenario.Run({L"E:third"});
    EXPECT_EQ(Bytes(scenario.SharedLog()), std::string("x\0t\0h\0i\0r\0d\0\r\0\n\0", 16));
}

TEST(DebugLog, TwoProcessesWithTheirIdsInTheNameWriteTwoFiles) {
    Scenario scenario;
    scenario.BareLines();
    scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}});
    const NamedEvent ready(L"ready"), go(L"go");
    const Child first =
        scenario.Start({L"E:alpha", L"signal:" + ready.name(), L"wait:" + go.name()});
    ASSERT_TRUE(ready.Wait());
    const DWORD second = scenario.Run({L"E:beta"});
    go.Set();
    EXPECT_EQ(first.Wait(), 0u);
    EXPECT_EQ(LogText(scenario.LogFor(first.pid)), "alpha\r\n");
    EXPECT_EQ(LogText(scenario.LogFor(second)), "beta\r\n");
}

TEST(DebugLog, ASharedFileHeldByOneProcessLosesTheOthersLinesUntilItIsFree) {
    Scenario scenario;
    scenario.BareLines();
    scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}, {L"AppendProcessIdToFile", 0}});
    const NamedEvent firstReady(L"first-ready"), firstGo(L"first-go");
    const NamedEvent secondReady(L"second-ready"), secondGo(L"second-go");
    const Child first = scenario.Start(
        {L"E:one", L"signal:" + firstReady.name(), L"wait:" + firstGo.name(), L"E:three"});
    ASSERT_TRUE(firstReady.Wait());
    const Child second = scenario.Start(
        {L"E:two", L"signal:" + secondReady.name(), L"wait:" + secondGo.name(), L"E:four"});
    ASSERT_TRUE(secondReady.Wait());
    // The first process still holds the file: "two" found it shared for reading only.
    firstGo.Set();
    EXPECT_EQ(first.Wait(), 0u);
    // Now free: the second process opens it at its next line.
    secondGo.Set();
    EXPECT_EQ(second.Wait(), 0u);
    EXPECT_EQ(LogText(scenario.SharedLog()), "one\r\nthree\r\nfour\r\n");
}

TEST(DebugLog, DirectoryOptionPlacesTheFile) {
    Scenario scenario;
    const TempDir logs;
    scenario.BareLines();
    scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}});
    ASSERT_TRUE(scenario.DebugOutput().SetString(L"Directory", logs.path() + L"\\\\"));
    const DWORD pid = scenario.Run({L"W:elsewhere"});
    EXPECT_EQ(LogText(logs.file(L"QVDPlugin-0x" + Hex4(pid) + L".log")), "elsewhere\r\n");
    EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
}

TEST(DebugLog, DebuggerOutputFollowsItsOptionAndSurvivesAnUnopenableFile) {
    {
        SCOPED_TRACE("debugger only, the default");
        Scenario scenario;
        scenario.Options({{L"DebugType", 1}});
        const DebuggedRun run = scenario.RunUnderDebugger({L"E:marker one", L"I:marker two"});
        EXPECT_EQ(run.exitCode, 0u);
        const auto ours = Ours(run.strings);
        ASSERT_EQ(ours.size(), 2u);
        const std::string ids =
            " : QVDPlugin : 0x" + qvdtest::Narrow(Hex4(run.pid)) + " : 0x[0-9A-F]{4,} : ";
        EXPECT_TRUE(
            std::regex_match(ours[0], std::regex("[-0-9]{23}" + ids + "Error : marker one\r\n")))
            << ours[0];
        EXPECT_TRUE(std::regex_match(
            ours[1], std::regex("[-0-9]{23}" + ids + "Information : marker two\r\n")))
            << ours[1];
        EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
    }
    {
        SCOPED_TRACE("file only");
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", 1},
                          {L"OutputToDebugger", 0},
                          {L"OutputToFile", 1},
                          {L"AppendProcessIdToFile", 0}});
        const DebuggedRun run = scenario.RunUnderDebugger({L"E:marker"});
        EXPECT_TRUE(Ours(run.strings).empty());
        EXPECT_EQ(LogText(scenario.SharedLog()), "marker\r\n");
    }
    {
        SCOPED_TRACE("file cannot be opened");
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", 1}, {L"OutputToFile", 1}});
        ASSERT_TRUE(scenario.DebugOutput().SetString(L"Directory",
                                                     scenario.folder().file(L"missing\\folder")));
        const DebuggedRun run = scenario.RunUnderDebugger({L"E:marker a", L"E:marker b"});
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(Ours(run.strings), (std::vector<std::string>{"marker a\r\n", "marker b\r\n"}));
        EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
    }
}

TEST(DebugLog, ValuesOfAnotherTypeKeepTheirDefaults) {
    {
        SCOPED_TRACE("DebugType as a string: the log stays off");
        Scenario scenario;
        ASSERT_TRUE(scenario.DebugOutput().SetString(L"DebugType", L"1"));
        scenario.Options({{L"OutputToFile", 1}});
        const DebuggedRun run = scenario.RunUnderDebugger({L"E:marker"});
        EXPECT_TRUE(Ours(run.strings).empty());
        EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
    }
    {
        SCOPED_TRACE("OutputToFile as a string: no file, the debugger still gets the line");
        Scenario scenario;
        scenario.BareLines();
        scenario.Options({{L"DebugType", 1}});
        ASSERT_TRUE(scenario.DebugOutput().SetString(L"OutputToFile", L"1"));
        const DebuggedRun run = scenario.RunUnderDebugger({L"E:marker"});
        EXPECT_EQ(Ours(run.strings), std::vector<std::string>{"marker\r\n"});
        EXPECT_TRUE(LogFilesIn(scenario.folder().path()).empty());
    }
}

}  // namespace
