// Trace points through the recorder: when they fire, and what one event carries.
#include "TraceRecorder.h"

#include <gtest/gtest.h>

namespace {

using pxLib::TraceLevel;
using qvdtest::ScopedTraceSession;
using qvdtest::TraceRecorder;
using qvdtest::Utf16Bytes;

const pxLib::TraceSource kSource{
    {0x3f1c2a77, 0x5b0e, 0x4d21, {0x9a, 0x64, 0x10, 0xc3, 0x7e, 0x52, 0xaa, 0x0d}}};

template <class T>
std::string Bytes(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

TEST(Trace, NothingIsEmittedBeforeStartUpListedTheBlock) {
    TraceRecorder recorder;
    ScopedTraceSession session(5, 1, 0x5E55, /*listed=*/false);
    pxLib::Trace(kSource, TraceLevel::Error, 1, uint32_t{7});
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(pxLib::TraceEnabled(TraceLevel::Error));
}

TEST(Trace, FiresOnlyWithFlagBitZeroAndASessionLevelAtLeastThePoints) {
    const struct {
        uint8_t sessionLevel;
        uint32_t flags;
        TraceLevel point;
        bool fires;
    } cases[] = {
        {5, 0, TraceLevel::Error, false},
        {5, 2, TraceLevel::Error, false},
        {5, 0x80000000u, TraceLevel::Error, false},
        {0, 1, TraceLevel::Error, false},
        {1, 1, TraceLevel::Error, false},
        {2, 1, TraceLevel::Error, true},
        {2, 1, TraceLevel::Warning, false},
        {3, 1, TraceLevel::Warning, true},
        {4, 1, TraceLevel::Information, true},
        {4, 1, TraceLevel::Verbose, false},
        {5, 0xFFFFFFFFu, TraceLevel::Verbose, true},
        {255, 3, TraceLevel::Verbose, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << int(c.sessionLevel) << " flags " << c.flags
                                        << " point " << int(c.point));
        TraceRecorder recorder;
        ScopedTraceSession session(c.sessionLevel, c.flags);
        EXPECT_EQ(pxLib::TraceEnabled(c.point), c.fires);
        pxLib::Trace(kSource, c.point, 3);
        EXPECT_EQ(recorder.events.size(), c.fires ? 1u : 0u);
    }
}

TEST(Trace, AnEventCarriesTheSessionFlagsSourceNumberAndANullPairEnd) {
    TraceRecorder recorder;
    ScopedTraceSession session(4, 1, 0xABCDEF12345ull);
    pxLib::Trace(kSource, TraceLevel::Warning, 42);
    ASSERT_EQ(recorder.events.size(), 1u);
    const auto& event = recorder.events[0];
    EXPECT_EQ(event.loggerHandle, 0xABCDEF12345ull);
    EXPECT_EQ(event.messageFlags, 0x2Bu);
    EXPECT_TRUE(qvdtest::SameGuid(event.messageGuid, kSource.messageGuid));
    EXPECT_EQ(event.messageNumber, 42);
    EXPECT_TRUE(event.args.empty());
    EXPECT_TRUE(event.endsWithNullPair);
}

TEST(Trace, ANamedEventCarriesItsEnumeratorsNumberAndItsArguments) {
    enum class TraceEvent : uint16_t { First = 1, Named = 517 };
    TraceRecorder recorder;
    ScopedTraceSession session(4, 1);
    const uint32_t code = 1359;
    pxLib::Trace(kSource, TraceLevel::Information, TraceEvent::Named, code);
    pxLib::Trace(kSource, TraceLevel::Verbose, TraceEvent::First);  // below the session's level
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].messageNumber, 517);
    ASSERT_EQ(recorder.events[0].args.size(), 1u);
    EXPECT_EQ(recorder.events[0].args[0], Bytes(code));
}

TEST(Trace, ArgumentsAreEncodedByKind) {
    TraceRecorder recorder;
    ScopedTraceSession session(5, 1);
    const int32_t hr = static_cast<int32_t>(0x80070005);
    const uint32_t code = 1359;
    const int64_t big = -5000000000;
    const uint64_t handle = 0x1122334455667788ull;
    const void* pointer = &recorder;
    const pxLib::TraceGuid guid{0xD150D150, 0xD150, 0xD150, {1, 2, 3, 4, 5, 6, 7, 8}};
    const std::u16string text = u"ab\u00e9";
    const char16_t* const nullText = nullptr;
    const char16_t* const emptyText = u"";
    const std::u16string emptyString;
    pxLib::Trace(kSource, TraceLevel::Verbose, 9, hr, code, big, handle, pointer, guid, text,
                 nullText, emptyText, emptyString);
    ASSERT_EQ(recorder.events.size(), 1u);
    const auto& args = recorder.events[0].args;
    ASSERT_EQ(args.size(), 10u);
    EXPECT_EQ(args[0], Bytes(hr));
    EXPECT_EQ(args[0].size(), 4u);
    EXPECT_EQ(args[1], Bytes(code));
    EXPECT_EQ(args[2].size(), 8u);
    EXPECT_EQ(args[2], Bytes(big));
    EXPECT_EQ(args[3], Bytes(handle));
    EXPECT_EQ(args[4].size(), 8u);
    EXPECT_EQ(args[4], Bytes(reinterpret_cast<uint64_t>(pointer)));
    EXPECT_EQ(args[5].size(), 16u);
    EXPECT_EQ(args[5], Bytes(guid));
    EXPECT_EQ(args[6].size(), 2u * (3 + 1));
    EXPECT_EQ(args[6], Utf16Bytes(text));
    EXPECT_EQ(args[7].size(), 10u);
    EXPECT_EQ(args[7], Utf16Bytes(u"NULL"));
    EXPECT_EQ(args[8].size(), 14u);
    EXPECT_EQ(args[8], Utf16Bytes(u"<NULL>"));
    EXPECT_EQ(args[9], Utf16Bytes(u"<NULL>"));
    EXPECT_TRUE(recorder.events[0].endsWithNullPair);
}

#ifdef _WIN32
TEST(Trace, WindowsTypesAreEncodedLikeTheirPortableCounterparts) {
    TraceRecorder recorder;
    ScopedTraceSession session(5, 1);
    const HRESULT hr = E_ACCESSDENIED;
    const DWORD error = ERROR_FILENAME_EXCED_RANGE;
    const GUID guid{0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    const wchar_t* const nullText = nullptr;
    const std::wstring wide = L"C:\\x";
    const std::wstring emptyWide;
    const HANDLE process = GetCurrentProcess();
    pxLib::Trace(kSource, TraceLevel::Error, 2, hr, error, guid, nullText, wide, emptyWide, L"lit",
                 process);
    ASSERT_EQ(recorder.events.size(), 1u);
    const auto& args = recorder.events[0].args;
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[0], Bytes(hr));
    EXPECT_EQ(args[0].size(), 4u);
    EXPECT_EQ(args[1], Bytes(error));
    EXPECT_EQ(args[1].size(), 4u);
    EXPECT_EQ(args[2], Bytes(guid));
    EXPECT_EQ(args[3], Utf16Bytes(u"NULL"));
    EXPECT_EQ(args[4], Utf16Bytes(u"C:\\x"));
    EXPECT_EQ(args[5], Utf16Bytes(u"<NULL>"));
    EXPECT_EQ(args[6], Utf16Bytes(u"lit"));
    EXPECT_EQ(args[7], Bytes(process));
    EXPECT_EQ(args[7].size(), 8u);
}
#endif

TEST(Trace, AnArgumentListLongerThanAnEventCarriesIsNotSent) {
    TraceRecorder recorder;
    ScopedTraceSession session(5, 1);
    const uint32_t value = 1;
    pxLib::TraceArg args[pxLib::kMaxTraceArgs + 1];
    for (auto& arg : args) arg = pxLib::ToTraceArg(value);
    pxLib::EmitTrace(kSource, 1, args, pxLib::kMaxTraceArgs + 1);
    EXPECT_TRUE(recorder.events.empty());
    pxLib::EmitTrace(kSource, 1, args, pxLib::kMaxTraceArgs);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].args.size(), pxLib::kMaxTraceArgs);
    EXPECT_TRUE(recorder.events[0].endsWithNullPair);
}

}  // namespace
