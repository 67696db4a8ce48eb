// The prelaunch verification: only the maker's installer starts. Each signer
// of the test PKI through the real DLL's run sequence, then the verification
// call itself with the file it holds.
#include "PluginTestSupport.h"
#include "TrustTestSupport.h"
#include "trust/InstallerTrust.h"
#include "trust/VerifyTrustFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace qvdtest {
namespace {

TEST(InstallerTrust, OnlyTheMakersInstallerStarts) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    TempDir dir;
    const struct {
        const wchar_t* fixture;
        bool starts;
    } cases[] = {
        {L"maker", true},                 // maker name pair (1,1)
        {L"maker-pair12", true},          // (1,2)
        {L"maker-pair33", true},          // (3,3)
        {L"maker-pair45", true},          // a (4,5) mix
        {L"maker-unit", true},            // the maker's unit, any organisation
        {L"maker-nolocality", false},     // a maker pair without locality
        {L"other", false},                // another publisher
        {L"alternate", false},            // the alternate publisher
        {L"nocodesign", true},            // no code-signing usage, the subject marker
        {L"nocodesign-nomarker", false},  // no code-signing usage, no marker
        {L"platform", false},             // the platform vendor
        {L"tampered", false},
        {L"unsigned", false},
    };
    for (const auto& c : cases) {
        const std::wstring marker = dir.file(std::wstring(L"started-") + c.fixture);
        const std::wstring installer =
            PlaceInstaller(dir, c.fixture, std::wstring(c.fixture) + L"-setup.exe",
                           {"started_marker=" + Narrow(marker)});
        pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
        ASSERT_TRUE(plugin);
        RecordingSink sink;
        ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
        const int32_t state = WaitForFinalState(plugin);
        plugin.reset();
        if (c.starts) {
            EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED) << Narrow(c.fixture);
            EXPECT_EQ(sink.Calls(),
                      std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)})
                << Narrow(c.fixture) << ": " << Describe(sink.Calls());
            EXPECT_TRUE(WaitForFile(marker, 30000)) << Narrow(c.fixture);
        } else {
            EXPECT_EQ(state, qvd::QVD_STATE_LAUNCH_FAILED) << Narrow(c.fixture);
            EXPECT_EQ(sink.Calls(), std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)})
                << Narrow(c.fixture) << ": " << Describe(sink.Calls());
            EXPECT_FALSE(FileExists(marker)) << Narrow(c.fixture);
        }
    }
}

// A named pipe served by the test. Each client that connects is impersonated
// and the level of the token that gives is kept (-1: impersonation failed).
class PipeServer {
public:
    PipeServer()
        : m_name(L"\\\\.\\pipe\\qvdtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount())),
          m_instance(NewInstance()),
          m_thread([this] { Serve(); }) {}
    ~PipeServer() {
        m_stop = true;
        // Wakes the server from its wait for a client.
        pxLib::UniqueHandle(
            CreateFileW(m_name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        m_thread.join();
    }
    const std::wstring& name() const { return m_name; }
    // The levels of the first count clients, once that many were served
    // (fewer after 10 seconds).
    std::vector<int> Levels(size_t count) {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                if (m_levels.size() >= count) return m_levels;
            }
            Sleep(20);
        }
        std::lock_guard<std::mutex> lock(m_lock);
        return m_levels;
    }

private:
    HANDLE NewInstance() const {
        return CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    }
    void Serve() {
        while (m_instance) {
            const BOOL connected = ConnectNamedPipe(m_instance.get(), nullptr) ||
                                   GetLastError() == ERROR_PIPE_CONNECTED;
            pxLib::UniqueHandle client = std::move(m_instance);
            if (m_stop) return;
            m_instance.reset(NewInstance());
            if (connected) Record(client.get());
            DisconnectNamedPipe(client.get());
        }
    }
    void Record(HANDLE client) {
        int level = -1;
        if (ImpersonateNamedPipeClient(client)) {
            pxLib::UniqueHandle token;
            SECURITY_IMPERSONATION_LEVEL value{};
            DWORD size = 0;
            if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
                GetTokenInformation(token.get(), TokenImpersonationLevel, &value, sizeof(value),
                                    &size))
                level = static_cast<int>(value);
            RevertToSelf();
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_levels.push_back(level);
    }

    std::wstring m_name;
    pxLib::UniqueHandle m_instance;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<int> m_levels;
    std::thread m_thread;
};

TEST(InstallerTrust, APipeNamedAsTheInstallerIsRefusedAndCannotActAsTheHost) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    PipeServer server;
    // A client that allows its server nothing: whether the platform keeps a
    // server to the level a client asks for.
    pxLib::UniqueHandle anonymous(CreateFileW(server.name().c_str(), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING,
                                              SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr));
    ASSERT_TRUE(anonymous);
    ASSERT_EQ(server.Levels(1).size(), 1u);
    anonymous.reset();

    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    ASSERT_EQ(plugin->Start(JobFor(server.name()).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_LAUNCH_FAILED);
    EXPECT_EQ(sink.Calls(), std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)})
        << Describe(sink.Calls());
    plugin.reset();

    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    pxLib::UniqueHandle held;
    EXPECT_EQ(pxLib::VerifyInstallerTrust(server.name(), held), pxLib::kInstallerNotADiskFile);

    // Both opens reached the server; neither lets it act as this account
    // where the platform holds servers to what the client allows.
    const std::vector<int> levels = server.Levels(3);
    ASSERT_EQ(levels.size(), 3u);
    const bool levelsHonoured = levels[0] == static_cast<int>(SecurityAnonymous);
    for (size_t i = 1; i < levels.size(); ++i) {
        std::cout << "impersonation level of the pipe's server: " << levels[i]
                  << " (a client asking for anonymity gave " << levels[0] << ")\n";
        if (levelsHonoured) {
            EXPECT_LE(levels[i], static_cast<int>(SecurityIdentification));
        }
    }
}

class VerifyInstaller : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    }
    TempDir dir;
};

TEST_F(VerifyInstaller, TheTrustedInstallerStaysHeldWithReadSharingOnly) {
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", {});
    pxLib::UniqueHandle held;
    ASSERT_EQ(pxLib::VerifyInstallerTrust(installer, held), S_OK);
    ASSERT_TRUE(held);
    pxLib::UniqueHandle reader(CreateFileW(installer.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader);
    reader.reset();
    const pxLib::UniqueHandle writer(CreateFileW(installer.c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_FALSE(DeleteFileW(installer.c_str()));
    EXPECT_FALSE(MoveFileW(installer.c_str(), dir.file(L"renamed.exe").c_str()));
    held.reset();
    EXPECT_TRUE(DeleteFileW(installer.c_str()));
}

TEST_F(VerifyInstaller, RefusalsAndWhatTheyReturn) {
    pxLib::UniqueHandle held;
    EXPECT_EQ(pxLib::VerifyInstallerTrust(dir.file(L"missing.exe"), held),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(held);
    for (const wchar_t* fixture : {L"unsigned", L"other", L"tampered", L"alternate"}) {
        const std::wstring installer =
            PlaceInstaller(dir, fixture, std::wstring(fixture) + L".exe", {});
        EXPECT_EQ(pxLib::VerifyInstallerTrust(installer, held), pxLib::kInstallerNotTrusted)
            << Narrow(fixture);
        // Held all the same: the run sequence closes it.
        EXPECT_TRUE(held) << Narrow(fixture);
    }
}

}  // namespace
}  // namespace qvdtest
