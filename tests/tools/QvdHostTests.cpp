// The reference host as integrators run it: its output, its exit code, both
// object paths, the cancel option, the JSON form, the expected state and the
// debug log switched on for one run.
#include "ExpectedVersion.h"
#include "TestSupport.h"
#include "common/ScopedJobIds.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>
#include <json/json.h>
#include <tlhelp32.h>

#include <memory>

namespace qvdtest {
namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// A host started with its output going to a file of dir.
class StartedHost {
public:
    StartedHost(const TempDir& dir, const std::wstring& arguments)
        : m_outputPath(dir.file(L"host-output.txt")) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        pxLib::UniqueHandle output(CreateFileW(m_outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               &inherit, CREATE_ALWAYS, 0, nullptr));
        if (!output) return;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        std::wstring line = L"\"" + WinePath(QVD_TEST_QVDHOST) + L"\" " + arguments;
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       m_process.put());
    }
    DWORD processId() const { return m_process.processId(); }
    HostRun Finish() {
        HostRun run;
        if (m_process.process() && WaitForSingleObject(m_process.process(), 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_process.process(), &run.exitCode);
        run.output = ReadFileUtf8(m_outputPath);
        return run;
    }

private:
    std::wstring m_outputPath;
    pxLib::ProcessInformation m_process;
};

HostRun RunHost(const TempDir& dir, const std::wstring& arguments) {
    return StartedHost(dir, arguments).Finish();
}

std::wstring Quoted(const std::wstring& s) {
    return L"\"" + s + L"\"";
}

class QvdHost : public ::testing::Test {
protected:
    std::wstring JobFile(const std::string& json) {
        const std::wstring path = dir.file(L"job " + std::to_wstring(++jobs) + L".json");
        WriteFileUtf8(path, json);
        return path;
    }
    std::string InstallerJob(const std::vector<std::string>& behaviour) {
        const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", behaviour);
        std::string escaped;
        for (char c : Narrow(installer)) {
            if (c == '\\') escaped += '\\';
            escaped += c;
        }
        // An id of the job's own: a restart-needed result marks it.
        return "{" + jobIds.NewMember() +
               ", \"file_array\": [{\"type\": \"job_installer\", \"destination_file\": \"" +
               escaped + "\"}]}";
    }
    // A job for a product of its own (the debug options live beneath its key).
    std::string ProductJob(const std::wstring& silo, const wchar_t* fixture,
                           const std::vector<std::string>& behaviour) {
        const std::wstring installer = PlaceInstaller(dir, fixture, L"setup.exe", behaviour);
        return "{" + jobIds.NewMember() + ", \"file_array\": [{\"type\": \"job_installer\", " +
               "\"destination_file\": " + JsonText(installer) +
               "}], \"product_data\": {\"silo\": " + JsonText(silo) +
               ", \"force_overinstall\": true}}";
    }
    static std::string JsonText(const std::wstring& text) {
        std::string quoted = "\"";
        for (char c : Narrow(text)) {
            if (c == '\\' || c == '"') quoted += '\\';
            quoted += c;
        }
        return quoted + "\"";
    }
    TempDir dir;
    ScopedJobIds jobIds;
    int jobs = 0;
};

bool ParseJson(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

TEST_F(QvdHost, PrintsEverySinkCallAndTheFinalStateThroughBothPaths) {
    const std::wstring job = JobFile(InstallerJob({"exit_code=0x80070070"}));
    for (const wchar_t* path : {L"", L"--com "}) {
        const HostRun run = RunHost(dir, path + Quoted(PluginDllPath()) + L" " + Quoted(job));
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        // The DLL introduces itself before the job runs.
        const std::vector<std::string> expectedLines = {
            "host: loaded " + Narrow(PluginDllPath()) + ", version " +
                Narrow(QVD_EXPECTED_FILE_VERSION),
            "Start returned 0x00000000",
            "sink: ReportStatus(4)",
            "sink: ReportError(0x80070070, qvd::plugin::QVDPluginImpl::run(1153))",
            "final state: 8 - the installer ended with a reported code",
            "exit code: 0x80070070"};
        for (const std::string& expected : expectedLines) {
            EXPECT_NE(run.output.find(expected), std::string::npos)
                << "missing \"" << expected << "\" in:\n"
                << run.output;
        }
    }
}

TEST_F(QvdHost, ExitsZeroWhenTheJobEndsWithTheProductInstalledOrRestarting) {
    const HostRun run = RunHost(
        dir, Quoted(PluginDllPath()) + L" " + Quoted(JobFile(InstallerJob({"exit_code=3010"}))));
    // 3010 is not an HRESULT: an unknown failure.
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    const HostRun restart =
        RunHost(dir, Quoted(PluginDllPath()) + L" " +
                         Quoted(JobFile(InstallerJob({"exit_code=0x80070BC2"}))));
    EXPECT_EQ(restart.exitCode, 0u) << restart.output;
    EXPECT_NE(restart.output.find("final state: 5"), std::string::npos) << restart.output;
}

TEST_F(QvdHost, CancelAfterEndsTheJobAsCancelled) {
    const HostRun run = RunHost(dir, L"--cancel-after 300 " + Quoted(PluginDllPath()) + L" " +
                                         Quoted(JobFile(InstallerJob({"sleep_ms=5000"}))));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("host: CancelAndWait() after 300 ms"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("final state: 6"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("exit code: 0x8000FFFF"), std::string::npos) << run.output;
}

TEST_F(QvdHost, HelpPrintsTheUsageAndExitsZero) {
    const HostRun run = RunHost(dir, L"--help");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    for (const char* text : {"usage: qvdhost", "--log", "--json", "--expect-state N", "--help"})
        EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
}

TEST_F(QvdHost, ExpectStateDecidesTheExitCode) {
    const std::wstring job = JobFile(InstallerJob({"exit_code=0x80070070"}));
    const struct {
        const wchar_t* options;
        DWORD exitCode;
    } cases[] = {
        {L"", 1},                   // state 8 is not installed
        {L"--expect-state 8 ", 0},  // but it is the state asked for
        {L"--expect-state 3 ", 1},
        {L"--expect-state -2 ", 1},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(dir, c.options + Quoted(PluginDllPath()) + L" " + Quoted(job));
        EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(c.options) << "\n" << run.output;
        EXPECT_NE(run.output.find("final state: 8"), std::string::npos) << run.output;
    }
    EXPECT_EQ(RunHost(dir, L"--expect-state x a b").exitCode, 2u);
}

TEST_F(QvdHost, JsonGivesTheCallsStatesAndOutcomeAsOneDocument) {
    const std::wstring job = JobFile(InstallerJob({"exit_code=0x80070070", "sleep_ms=300"}));
    for (const wchar_t* path : {L"", L"--com "}) {
        const HostRun run = RunHost(
            dir, std::wstring(L"--json ") + path + Quoted(PluginDllPath()) + L" " + Quoted(job));
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        Json::Value doc;
        ASSERT_TRUE(ParseJson(run.output, doc)) << run.output;
        EXPECT_EQ(doc["dll"]["path"].asString(), Narrow(PluginDllPath()));
        EXPECT_EQ(doc["dll"]["version"].asString(), Narrow(QVD_EXPECTED_FILE_VERSION));
        const Json::Value& calls = doc["calls"];
        ASSERT_EQ(calls.size(), 2u) << run.output;
        EXPECT_EQ(calls[0]["call"].asString(), "ReportStatus");
        EXPECT_EQ(calls[0]["status"].asInt(), 4);
        EXPECT_EQ(calls[1]["call"].asString(), "ReportError");
        EXPECT_EQ(calls[1]["code"].asString(), "0x80070070");
        EXPECT_EQ(calls[1]["location"].asString(), "qvd::plugin::QVDPluginImpl::run(1153)");
        // The installer slept: its code came later than its start.
        EXPECT_GE(calls[1]["ms"].asInt64() - calls[0]["ms"].asInt64(), 250) << run.output;
        const Json::Value& states = doc["states"];
        ASSERT_EQ(states.size(), 2u) << run.output;
        EXPECT_EQ(states[0]["state"].asInt(), 2);
        EXPECT_EQ(states[1]["state"].asInt(), 8);
        EXPECT_EQ(doc["final_state"].asInt(), 8);
        EXPECT_EQ(doc["final_meaning"].asString(), "the installer ended with a reported code");
        EXPECT_EQ(doc["exit_code"].asString(), "0x80070070");
        EXPECT_GE(doc["duration_ms"].asInt64(), calls[1]["ms"].asInt64());
        EXPECT_FALSE(doc.isMember("log"));
    }
}

// The debug options of one product, as a test reads and writes them.
class DebugOptions {
public:
    explicit DebugOptions(const std::wstring& silo)
        : m_product(L"SOFTWARE\\Halvex\\" + silo),
          m_options(m_product + L"\\Plexor\\Debug\\DebugOutput") {}
    const std::wstring& product() const { return m_product; }
    const std::wstring& path() const { return m_options; }
    bool KeyExists(const std::wstring& path) const {
        pxLib::UniqueRegKey key;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                             key.put()) == ERROR_SUCCESS;
    }
    // "absent", or the type and the bytes as text.
    std::string Value(const wchar_t* name) const {
        BYTE data[1024];
        DWORD type = 0, size = sizeof(data);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, m_options.c_str(), name,
                         RRF_RT_ANY | RRF_NOEXPAND | RRF_SUBKEY_WOW6464KEY, &type, data,
                         &size) != ERROR_SUCCESS)
            return "absent";
        return std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
    }

private:
    std::wstring m_product;
    std::wstring m_options;
};

constexpr const wchar_t* kOptionNames[] = {L"DebugType",        L"OutputToFile",
                                           L"OutputToDebugger", L"AppendProcessIdToFile",
                                           L"ExclusiveModules", L"Directory"};

TEST_F(QvdHost, LogPrintsTheVerifiersReasonAndPutsTheOptionsBack) {
    // A product whose options are there already, set otherwise.
    const std::wstring silo = NewGuidText();
    const DebugOptions options(silo);
    ScopedRegistryKey before(HKEY_LOCAL_MACHINE, options.path());
    ASSERT_TRUE(before.SetDword(L"DebugType", 3));
    ASSERT_TRUE(before.SetDword(L"OutputToDebugger", 1));
    ASSERT_TRUE(before.SetString(L"Directory", L"C:\\elsewhere"));
    std::vector<std::string> was;
    for (const wchar_t* name : kOptionNames) was.push_back(options.Value(name));

    const std::wstring job = JobFile(ProductJob(silo, L"other", {}));
    const HostRun run = RunHost(dir, L"--log " + Quoted(PluginDllPath()) + L" " + Quoted(job));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("final state: -2"), std::string::npos) << run.output;
    // The log's lines come after the outcome, each as the plug-in wrote it.
    const size_t reason = run.output.find(
        " : Error : qvd::plugin::QVDPluginImpl::run(905) : Prelaunch verification of installer  "
        "failed, hr=0x800B0004");
    EXPECT_NE(reason, std::string::npos) << run.output;
    EXPECT_GT(reason, run.output.find("exit code: "));
    EXPECT_NE(run.output.find("line(s) of the plug-in's debug log"), std::string::npos)
        << run.output;
    for (size_t i = 0; i < std::size(kOptionNames); ++i)
        EXPECT_EQ(options.Value(kOptionNames[i]), was[i]) << Narrow(kOptionNames[i]);

    // With --json the lines are in the document.
    const HostRun json =
        RunHost(dir, L"--log --json " + Quoted(PluginDllPath()) + L" " + Quoted(job));
    Json::Value doc;
    ASSERT_TRUE(ParseJson(json.output, doc)) << json.output;
    EXPECT_EQ(doc["final_state"].asInt(), -2);
    bool found = false;
    for (const Json::Value& line : doc["log"])
        found = found || line.asString().find(
                             "Prelaunch verification of installer  failed, "
                             "hr=0x800B0004") != std::string::npos;
    EXPECT_TRUE(found) << json.output;
}

TEST_F(QvdHost, LogRemovesTheKeysItMadeAlsoWhenTheJobsProcessIsKilled) {
    const std::wstring silo = NewGuidText();
    const DebugOptions options(silo);
    ASSERT_FALSE(options.KeyExists(options.product()));
    const std::wstring job = JobFile(ProductJob(silo, L"maker", {"sleep_ms=3000"}));
    StartedHost host(dir, L"--log " + Quoted(PluginDllPath()) + L" " + Quoted(job));
    ASSERT_NE(host.processId(), 0u);

    // The child qvdhost runs the job while the options are on.
    pxLib::UniqueHandle child;
    for (int i = 0; i < 500 && !child; ++i) {
        Sleep(20);
        pxLib::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !child;
             more = Process32NextW(snapshot.get(), &entry))
            // Wine may give a console program a conhost.exe of its own.
            if (entry.th32ParentProcessID == host.processId() &&
                _wcsicmp(entry.szExeFile, L"qvdhost.exe") == 0)
                child.reset(
                    OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    }
    ASSERT_TRUE(child);
    EXPECT_EQ(options.Value(L"DebugType"), "4:" + std::string("\x01\0\0\0", 4));
    ASSERT_TRUE(TerminateProcess(child.get(), 99));

    const HostRun run = host.Finish();
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_NE(run.output.find("the job's process ended with 0x00000063"), std::string::npos)
        << run.output;
    EXPECT_FALSE(options.KeyExists(options.product())) << run.output;
    // The installer it had started ends on its own.
    Sleep(3500);
}

TEST_F(QvdHost, RefusesWhatItCannotRun) {
    const struct {
        std::wstring arguments;
        const char* message;
    } cases[] = {
        {L"", "a plug-in DLL and a job file are needed"},
        {L"--cancel-after x a b", "--cancel-after needs a number"},
        {L"--bogus a b", "unknown option --bogus"},
        {L"--log " + Quoted(PluginDllPath()) + L" " + Quoted(JobFile("{}")),
         "--log needs the job's product_data.silo"},
        {Quoted(PluginDllPath()) + L" " + Quoted(dir.file(L"missing.json")),
         "cannot open the job file"},
        {Quoted(dir.file(L"missing.dll")) + L" " + Quoted(JobFile("{}")), "cannot load"},
        {Quoted(WinePath(QVD_TEST_FAKE_INSTALLER)) + L" " + Quoted(JobFile("{}")),
         "which has no version resource"},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(dir, c.arguments);
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
}

}  // namespace
}  // namespace qvdtest
