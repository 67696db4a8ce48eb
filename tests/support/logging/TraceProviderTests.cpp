// The module's trace provider: the real registration under Wine, the enable
// callback and the boot-time global logger query (registry real, the session
// query through the recorder).
#include "support/logging/TraceProvider.h"

#include "common/TestSupport.h"
#include "TraceRecorder.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using qvdtest::ScopedRegistryKey;
using qvdtest::TraceRecorder;

const pxLib::TraceSource kSource{
    {0x6d0b9e41, 0x2c7a, 0x4f38, {0x8e, 0x15, 0x5a, 0x90, 0x3b, 0xd4, 0x07, 0xc2}}};

pxLib::TraceControlBlock& Block() {
    return pxLib::ModuleTraceControl();
}

// Every test leaves the provider as module shut-down does.
class TraceProvider : public testing::Test {
protected:
    void TearDown() override { pxLib::UnregisterTraceProviders(); }
};

TEST_F(TraceProvider, ControlGuidIsFormattedInLowerCaseWithoutBraces) {
    EXPECT_EQ(pxLib::detail::FormatGuidLowerCase(pxLib::kTraceControlGuid),
              L"d150d150-d150-d150-d150-d150d150d150");
    const GUID mixed{0x0123ABCD, 0xEF01, 0x00A0, {0xBC, 0x0D, 0x10, 0x32, 0x54, 0x76, 0x98, 0xFA}};
    EXPECT_EQ(pxLib::detail::FormatGuidLowerCase(mixed), L"0123abcd-ef01-00a0-bc0d-1032547698fa");
}

TEST_F(TraceProvider, RealRegistrationListsTheBlockButNothingIsEmittedWithoutASession) {
    ASSERT_TRUE(pxLib::RegisterTraceProvider(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(Block().listed.load());
    EXPECT_NE(Block().registrationHandle.load(), 0u);
    EXPECT_EQ(Block().loggerHandle.load(), 0u);  // no global logger configured in this prefix
    EXPECT_EQ(Block().level.load(), 1);
    EXPECT_EQ(Block().flags.load(), 0u);
    {
        TraceRecorder recorder;
        pxLib::Trace(kSource, pxLib::TraceLevel::Error, 1, uint32_t{5});
        EXPECT_TRUE(recorder.events.empty());
    }
    {
        // The platform's TraceMessage, as a session would make it send; it
        // must take every argument count without harm.
        qvdtest::ScopedTraceSession session(5, 1, Block().registrationHandle.load());
        const uint32_t v = 1;
        pxLib::Trace(kSource, pxLib::TraceLevel::Error, 2);
        pxLib::Trace(kSource, pxLib::TraceLevel::Error, 3, v, L"text", std::wstring());
        pxLib::Trace(kSource, pxLib::TraceLevel::Error, 4, v, v, v, v, v, v, v, v, v, v);
    }
    EXPECT_NE(Block().registrationHandle.load(), 0u);

    pxLib::UnregisterTraceProviders();
    EXPECT_FALSE(Block().listed.load());
    EXPECT_EQ(Block().registrationHandle.load(), 0u);
    // Twice is harmless: the list is empty.
    pxLib::UnregisterTraceProviders();
    EXPECT_FALSE(Block().listed.load());
}

TEST_F(TraceProvider, EnableCallbackTakesSessionLevelAndFlagsAndDisableClearsThem) {
    ASSERT_TRUE(pxLib::RegisterTraceProvider(GetModuleHandleW(nullptr)));
    TraceRecorder recorder;
    recorder.enableHandle = 0x77;
    recorder.enableLevel = 4;
    recorder.enableFlags = 0x80000001u;
    int request = 0;
    EXPECT_EQ(pxLib::detail::TraceControlCallback(WMI_ENABLE_EVENTS, &Block(), nullptr, &request),
              0u);
    ASSERT_EQ(recorder.requestBuffers.size(), 1u);
    EXPECT_EQ(recorder.requestBuffers[0], &request);
    EXPECT_EQ(recorder.levelQueries, std::vector<uint64_t>{0x77});
    EXPECT_EQ(recorder.flagQueries, std::vector<uint64_t>{0x77});
    EXPECT_EQ(Block().loggerHandle.load(), 0x77u);
    EXPECT_EQ(Block().level.load(), 4);
    EXPECT_EQ(Block().flags.load(), 0x80000001u);

    pxLib::Trace(kSource, pxLib::TraceLevel::Information, 5);
    pxLib::Trace(kSource, pxLib::TraceLevel::Verbose, 6);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].loggerHandle, 0x77u);
    EXPECT_EQ(recorder.events[0].messageNumber, 5);

    EXPECT_EQ(pxLib::detail::TraceControlCallback(WMI_DISABLE_EVENTS, &Block(), nullptr, &request),
              0u);
    EXPECT_EQ(Block().loggerHandle.load(), 0u);
    EXPECT_EQ(Block().level.load(), 0);
    EXPECT_EQ(Block().flags.load(), 0u);
    pxLib::Trace(kSource, pxLib::TraceLevel::Error, 7);
    EXPECT_EQ(recorder.events.size(), 1u);
}

TEST_F(TraceProvider, OtherRequestsAreRefusedAndChangeNothing) {
    TraceRecorder recorder;
    recorder.enableHandle = 0x99;
    pxLib::TraceControlBlock& block = Block();
    block.loggerHandle = 0x42;
    block.level = 3;
    block.flags = 1;
    for (const auto code : {WMI_GET_ALL_DATA, WMI_GET_SINGLE_INSTANCE, WMI_SET_SINGLE_INSTANCE,
                            WMI_ENABLE_COLLECTION, WMI_DISABLE_COLLECTION, WMI_REGINFO}) {
        EXPECT_EQ(pxLib::detail::TraceControlCallback(code, &block, nullptr, nullptr),
                  static_cast<ULONG>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(block.loggerHandle.load(), 0x42u);
    EXPECT_EQ(block.level.load(), 3);
    EXPECT_EQ(block.flags.load(), 1u);
    EXPECT_TRUE(recorder.requestBuffers.empty());
}

// A GlobalLogger key of this test's own, with the provider's lower-case GUID subkey.
struct GlobalLoggerCase {
    const char* name;
    std::optional<DWORD> start;
    bool providerKey;
    DWORD flags, level;
    uint32_t queryResult;
    uint64_t sessionHandle;
    bool queried;
    uint64_t expectedHandle;
    uint8_t expectedLevel;
    uint32_t expectedFlags;
};

TEST_F(TraceProvider, GlobalLoggerQueryFollowsStartFlagsAndLevel) {
    const GlobalLoggerCase cases[] = {
        {"no Start", std::nullopt, true, 1, 4, 0, 0x55, false, 0, 9, 9},
        {"Start 0", 0, true, 1, 4, 0, 0x55, false, 0, 9, 9},
        {"Start 2", 2, true, 1, 4, 0, 0x55, false, 0, 9, 9},
        {"Start 1", 1, true, 0x80000001u, 4, 0, 0x55, true, 0x55, 4, 1},
        {"more data", 1, true, 0xFFFFFFFFu, 5, ERROR_MORE_DATA, 0x66, true, 0x66, 5, 0x7FFFFFFF},
        {"query fails", 1, true, 1, 4, ERROR_ACCESS_DENIED, 0x66, true, 0, 9, 9},
        {"no session", 1, true, 1, 4, 0, 0, true, 0, 9, 9},
        {"no provider key", 1, false, 1, 4, 0, 0x57, true, 0x57, 0, 0},
    };
    const std::wstring path =
        L"Software\\QVDTest\\GlobalLogger-" + std::to_wstring(GetCurrentProcessId());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedRegistryKey logger(HKEY_LOCAL_MACHINE, path);
        if (c.start) {
            ASSERT_TRUE(logger.SetDword(L"Start", *c.start));
        }
        std::optional<ScopedRegistryKey> provider;
        if (c.providerKey) {
            provider.emplace(HKEY_LOCAL_MACHINE, path + L"\\d150d150-d150-d150-d150-d150d150d150");
            ASSERT_TRUE(provider->SetDword(L"Flags", c.flags));
            ASSERT_TRUE(provider->SetDword(L"Level", c.level));
        }
        TraceRecorder recorder;
        recorder.sessionResult = c.queryResult;
        recorder.sessionHandle = c.sessionHandle;
        // A block as registration leaves it, marked so that "unchanged" shows.
        pxLib::TraceControlBlock block;
        block.level = 9;
        block.flags = 9;
        pxLib::detail::QueryGlobalLogger(block, path);
        if (c.queried) {
            EXPECT_EQ(recorder.sessionQueries, std::vector<std::u16string>{u"GlobalLogger"});
        } else {
            EXPECT_TRUE(recorder.sessionQueries.empty());
        }
        EXPECT_EQ(block.loggerHandle.load(), c.expectedHandle);
        EXPECT_EQ(block.level.load(), c.expectedLevel);
        EXPECT_EQ(block.flags.load(), c.expectedFlags);
    }
}

TEST_F(TraceProvider, AStringStartValueIsNoStart) {
    const std::wstring path =
        L"Software\\QVDTest\\GlobalLoggerSz-" + std::to_wstring(GetCurrentProcessId());
    ScopedRegistryKey logger(HKEY_LOCAL_MACHINE, path);
    ASSERT_TRUE(logger.SetString(L"Start", L"1"));
    TraceRecorder recorder;
    recorder.sessionHandle = 0x55;
    pxLib::TraceControlBlock block;
    pxLib::detail::QueryGlobalLogger(block, path);
    EXPECT_TRUE(recorder.sessionQueries.empty());
    EXPECT_EQ(block.loggerHandle.load(), 0u);
}

TEST_F(TraceProvider, RegistrationWithoutASessionAsksTheRealGlobalLoggerKey) {
    // This prefix has no GlobalLogger "Start": registration must not query a session.
    TraceRecorder recorder;
    recorder.sessionHandle = 0x55;
    ASSERT_TRUE(pxLib::RegisterTraceProvider(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(recorder.sessionQueries.empty());
    EXPECT_EQ(Block().loggerHandle.load(), 0u);
}

}  // namespace
