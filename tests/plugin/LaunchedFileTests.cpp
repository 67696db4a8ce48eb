// The file that is started is the very file that was verified: every check
// judges the held file, and the launch takes a path proven to name it, so
// neither a link retargeted after the open, nor a path text the verifier would
// read otherwise, nor a name the launcher would resolve elsewhere can put
// another program in its place.
#include "InProcessPlugin.h"
#include "support/system/SearchOwners.h"
#include "support/system/UniqueHandle.h"
#include "trust/TrustProvider.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <utility>

namespace qvdtest {
namespace {

// Wine has no reparse points of its own (CreateSymbolicLinkW makes nothing,
// FSCTL_SET_REPARSE_POINT fails), but it follows the Unix links below its
// drives, and it can start a Unix program: the link is made with ln.
std::string UnixPathOf(const std::wstring& path) {
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return {};
    // The name comes from the process heap, for the caller to free.
    const pxLib::UniqueProcessHeapBlock name(unixName(path.c_str()));
    if (!name) return {};
    return static_cast<const char*>(name.get());
}

// Starts a Unix program. Wine gives no handle to wait on for it: callers
// look for its effect.
bool StartUnixTool(const wchar_t* tool, const std::wstring& arguments) {
    std::wstring line = std::wstring(tool) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    pxLib::ProcessInformation process;
    return CreateProcessW(tool, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process.put()) != FALSE;
}

// Points (or re-points) the directory link at target, and waits until the
// link leads to target's own mark file.
bool LinkFolder(const std::wstring& link, const std::wstring& target, const wchar_t* mark) {
    const std::string from = UnixPathOf(target), to = UnixPathOf(link);
    if (from.empty() || to.empty()) return false;
    if (!StartUnixTool(L"Z:\\bin\\ln", L"-sfn " + Widen(from) + L" " + Widen(to))) return false;
    return WaitForFile(link + L"\\" + mark, 30000);
}

// Passes every judgement to the platform, and runs a step once just before
// the first: by then the run holds the installer open.
class StepBeforeFirstJudgement final : public pxLib::ITrustProvider {
public:
    explicit StepBeforeFirstJudgement(std::function<void()> step)
        : m_step(std::move(step)), m_previous(pxLib::SetTrustProviderForTesting(this)) {}
    ~StepBeforeFirstJudgement() override { pxLib::SetTrustProviderForTesting(m_previous); }
    LONG VerifyTrust(HWND window, GUID& action, WINTRUST_DATA& data) override {
        if (m_step) std::exchange(m_step, nullptr)();
        return pxLib::PlatformTrustProvider().VerifyTrust(window, action, data);
    }
    bool PolicyFlags(DWORD& flags) override {
        return pxLib::PlatformTrustProvider().PolicyFlags(flags);
    }

private:
    std::function<void()> m_step;
    pxLib::ITrustProvider* m_previous;
};

class LaunchedFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(dir.file(L"good").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(dir.file(L"other").c_str(), nullptr));
        ASSERT_TRUE(WriteFileUtf8(dir.file(L"good\\good.mark"), "good"));
        ASSERT_TRUE(WriteFileUtf8(dir.file(L"other\\other.mark"), "other"));
    }
    void TearDown() override {
        // The link itself goes, not what it points at.
        const std::string link = UnixPathOf(dir.file(L"link"));
        if (link.empty() || !StartUnixTool(L"Z:\\bin\\rm", L"-f " + Widen(link))) return;
        for (int i = 0;
             i < 500 && GetFileAttributesW(dir.file(L"link").c_str()) != INVALID_FILE_ATTRIBUTES;
             ++i)
            Sleep(20);
    }

    ScopedFakePlatform fake;
    FakePlatform& platform = *fake;
    TempDir dir;
    const std::wstring goodMarker = dir.file(L"good-started");
    const std::wstring otherMarker = dir.file(L"other-started");
};

TEST_F(LaunchedFile, ALinkRetargetedAfterTheCheckDoesNotChangeWhatStarts) {
    const std::wstring good =
        PlaceInstaller(dir, L"maker", L"good\\setup.exe", {"started_marker=" + Narrow(goodMarker)});
    const std::wstring other = PlaceInstaller(dir, L"unsigned", L"other\\setup.exe",
                                              {"started_marker=" + Narrow(otherMarker)});
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(other.empty());
    ASSERT_TRUE(LinkFolder(dir.file(L"link"), dir.file(L"good"), L"good.mark"));
    // Between the verification and the launch the link is turned to the unsigned copy.
    bool swapped = false;
    platform.beforeShellLaunch = [&] {
        swapped = LinkFolder(dir.file(L"link"), dir.file(L"other"), L"other.mark");
    };

    std::vector<SinkCall> calls;
    const int32_t state = RunLinkedJob(JobFor(dir.file(L"link\\setup.exe")), calls);
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(FileExists(goodMarker)) << "the verified installer must be the one started";
    EXPECT_FALSE(FileExists(otherMarker)) << "the link's new target must never start";
    EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED) << Describe(calls);
    EXPECT_EQ(calls, (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}))
        << Describe(calls);
    ASSERT_EQ(platform.launchedFiles.size(), 1u);
    EXPECT_EQ(platform.launchedFiles[0], good);
}

// A refused job: nothing started, the one failure status, and the installer
// that must never run did not.
void ExpectRefused(int32_t state, const std::vector<SinkCall>& calls, const FakePlatform& platform,
                   const std::wstring& forbiddenMarker) {
    EXPECT_EQ(state, qvd::QVD_STATE_LAUNCH_FAILED) << Describe(calls);
    EXPECT_EQ(calls, (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)}))
        << Describe(calls);
    EXPECT_TRUE(platform.launchedFiles.empty());
    EXPECT_FALSE(FileExists(forbiddenMarker));
}

TEST_F(LaunchedFile, ALinkRetargetedOnceTheFileIsHeldLendsItNoOtherPublisher) {
    // The held file is validly signed, by another publisher; the link's new
    // target is the maker's file of the same name.
    ASSERT_FALSE(PlaceInstaller(dir, L"other", L"other\\setup.exe",
                                {"started_marker=" + Narrow(otherMarker)})
                     .empty());
    ASSERT_FALSE(
        PlaceInstaller(dir, L"maker", L"good\\setup.exe", {"started_marker=" + Narrow(goodMarker)})
            .empty());
    ASSERT_TRUE(LinkFolder(dir.file(L"link"), dir.file(L"other"), L"other.mark"));
    bool swapped = false;
    StepBeforeFirstJudgement swap(
        [&] { swapped = LinkFolder(dir.file(L"link"), dir.file(L"good"), L"good.mark"); });

    std::vector<SinkCall> calls;
    const int32_t state = RunLinkedJob(JobFor(dir.file(L"link\\setup.exe")), calls);
    EXPECT_TRUE(swapped);
    ExpectRefused(state, calls, platform, otherMarker);
    EXPECT_FALSE(FileExists(goodMarker));
}

TEST_F(LaunchedFile, AVariableInThePathLeadsNoStepToAnotherFile) {
    // The installer opened lies in a folder whose name is a variable's text;
    // the folder the variable names holds another file of the same name.
    const struct {
        const wchar_t* opened;  // the fixture in the folder named "%...%"
        const wchar_t* named;   // the fixture in the folder the variable names
        const char* what;
    } cases[] = {
        {L"other", L"maker", "the verifier's normaliser expands the variable"},
        {L"maker", L"unsigned", "Wine's shell expands the variable, even unasked"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::wstring n = std::to_wstring(i);
        const std::wstring variable =
            L"QVD_NAMED_FOLDER_" + std::to_wstring(GetCurrentProcessId()) + L"_" + n;
        const std::wstring literal = L"%" + variable + L"%";
        const std::wstring openedMarker = dir.file(L"opened-started-" + n);
        const std::wstring namedMarker = dir.file(L"named-started-" + n);
        ASSERT_TRUE(CreateDirectoryW(dir.file(literal).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(dir.file(L"named" + n).c_str(), nullptr));
        ASSERT_FALSE(PlaceInstaller(dir, cases[i].opened, literal + L"\\setup.exe",
                                    {"started_marker=" + Narrow(openedMarker)})
                         .empty());
        ASSERT_FALSE(PlaceInstaller(dir, cases[i].named, L"named" + n + L"\\setup.exe",
                                    {"started_marker=" + Narrow(namedMarker)})
                         .empty());
        ASSERT_TRUE(SetEnvironmentVariableW(variable.c_str(), (L"named" + n).c_str()));

        std::vector<SinkCall> calls;
        const int32_t state = RunLinkedJob(JobFor(dir.file(literal + L"\\setup.exe")), calls);
        SetEnvironmentVariableW(variable.c_str(), nullptr);
        SCOPED_TRACE(cases[i].what);
        ExpectRefused(state, calls, platform, namedMarker);
        EXPECT_FALSE(FileExists(openedMarker));
    }
}

// Copies a fixture to a name that only a "\\?\" path reaches (a last
// component ending in a dot or a blank).
bool PlaceUnderExactName(const TempDir& dir, const wchar_t* fixture, const std::wstring& name) {
    const std::wstring staged = PlaceInstaller(dir, fixture, L"staged.exe", {});
    return !staged.empty() &&
           MoveFileW((L"\\\\?\\" + staged).c_str(), (L"\\\\?\\" + dir.file(name)).c_str()) &&
           DeleteFileW((staged + L".behaviour").c_str());
}

TEST_F(LaunchedFile, ANameThePathRulesWouldTrimIsNeverStartedAsAnotherFile) {
    // The maker's "setup.exe." is held; without its prefix the same path text
    // names the unsigned "setup.exe" beside it.
    ASSERT_TRUE(PlaceUnderExactName(dir, L"maker", L"good\\setup.exe."));
    ASSERT_FALSE(PlaceInstaller(dir, L"unsigned", L"good\\setup.exe",
                                {"started_marker=" + Narrow(otherMarker)})
                     .empty());
    std::vector<SinkCall> calls;
    const int32_t state = RunLinkedJob(JobFor(L"\\\\?\\" + dir.file(L"good\\setup.exe.")), calls);
    ExpectRefused(state, calls, platform, otherMarker);
}

TEST_F(LaunchedFile, EveryFormOfAPathThatReachesTheHeldFileStartsIt) {
    const std::wstring folder = dir.file(L"a long folder name");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"a long folder name\\setup.exe",
                                                  {"started_marker=" + Narrow(goodMarker)});
    ASSERT_FALSE(installer.empty());
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(installer.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), installer) << "no 8.3 form to try";
    // The administrative share of the installer's drive.
    const std::wstring share = std::wstring(1, installer[0]) + L"$" + installer.substr(2);
    const struct {
        const char* form;
        std::wstring path;
        bool starts;
    } cases[] = {
        {"8.3", shortName, true},
        {"\\\\?\\", L"\\\\?\\" + installer, true},
        {"\\\\.\\", L"\\\\.\\" + installer, true},
        {"\\??\\", L"\\??\\" + installer, true},
        // Wine serves no shares (the open fails with ERROR_PATH_NOT_FOUND):
        // these end before anything can start.
        {"UNC", L"\\\\localhost\\" + share, false},
        {"\\\\?\\UNC\\", L"\\\\?\\UNC\\localhost\\" + share, false},
    };
    for (const auto& c : cases) {
        DeleteFileW(goodMarker.c_str());
        platform.launchedFiles.clear();
        std::vector<SinkCall> calls;
        const int32_t state = RunLinkedJob(JobFor(c.path), calls);
        if (!c.starts) {
            ExpectRefused(state, calls, platform, goodMarker);
            continue;
        }
        EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED) << c.form << ": " << Describe(calls);
        EXPECT_TRUE(WaitForFile(goodMarker, 30000)) << c.form;
        ASSERT_EQ(platform.launchedFiles.size(), 1u) << c.form;
        EXPECT_EQ(platform.launchedFiles[0], installer) << c.form;
    }
}

TEST_F(LaunchedFile, ARelativePathStartsTheFileThatWasVerified) {
    // A service host in the system context: the installer is the host's own
    // child, and CreateProcessW would look in the host's folder first.
    platform.localSystem = true;
    const std::wstring name = L"relative-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    PlaceInstaller(dir, L"maker", L"good\\" + name, {"started_marker=" + Narrow(goodMarker)});
    wchar_t hostPath[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, hostPath, MAX_PATH), 0u);
    std::wstring hostFolder = hostPath;
    hostFolder.resize(hostFolder.find_last_of(L'\\') + 1);
    struct Decoy {
        std::wstring path;
        ~Decoy() {
            DeleteFileW(path.c_str());
            DeleteFileW((path + L".behaviour").c_str());
        }
    } decoy{hostFolder + name};
    ASSERT_TRUE(CopyFileW(PlaceInstaller(dir, L"unsigned", L"other\\" + name, {}).c_str(),
                          decoy.path.c_str(), FALSE));
    ASSERT_TRUE(WriteFileUtf8(decoy.path + L".behaviour", "started_marker=" + Narrow(otherMarker)));

    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.file(L"good").c_str()));
    std::vector<SinkCall> calls;
    const int32_t state =
        RunLinkedJob(JobFor(name, "\"product_data\": {\"context\": \"system\"}"), calls);
    SetCurrentDirectoryW(previous);

    EXPECT_TRUE(FileExists(goodMarker)) << "the verified installer must be the one started";
    EXPECT_FALSE(FileExists(otherMarker)) << "the host's folder must not be searched";
    EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED) << Describe(calls);
}

}  // namespace
}  // namespace qvdtest
