// The exception record: every kind thrown for real and classified at a catch
// site, and the error-level event it reports.
#include "support/logging/AtlException.h"
#include "support/logging/ExceptionRecord.h"

#include "support/text/Utf.h"
#include "TraceRecorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <typeinfo>

#ifdef _WIN32
#include <comdef.h>
#endif

namespace {

using qvdtest::ScopedTraceSession;
using qvdtest::TraceRecorder;
using qvdtest::Utf16Bytes;

struct NotInTheTable {};

pxLib::ExceptionRecord Guarded(const std::function<void()>& body, uint32_t line = 4711) {
    pxLib::ExceptionRecord record;
    try {
        body();
    } catch (...) {
        EXPECT_TRUE(record.Capture(u"FileCache", line));
    }
    return record;
}

std::u16string WhatOf(const std::exception& e) {
    return pxLib::Utf8ToUtf16(e.what());
}

struct KindCase {
    const char* name;
    std::function<void()> thrower;
    uint32_t kind;
    std::u16string typeName;
    std::u16string message;
};

std::vector<KindCase> KindCases() {
    return {
        {"runtime_error", [] { throw std::runtime_error("disk full"); }, 15, u"std::exception",
         u"disk full"},
        {"bad_exception", [] { throw std::bad_exception(); }, 16, u"std::bad_exception",
         WhatOf(std::bad_exception())},
        {"bad_cast", [] { throw std::bad_cast(); }, 17, u"std::bad_cast", WhatOf(std::bad_cast())},
        {"bad_typeid", [] { throw std::bad_typeid(); }, 18, u"std::bad_typeid",
         WhatOf(std::bad_typeid())},
        {"bad_alloc", [] { throw std::bad_alloc(); }, 19, u"std::bad_alloc",
         WhatOf(std::bad_alloc())},
        {"bad_array_new_length", [] { throw std::bad_array_new_length(); }, 19, u"std::bad_alloc",
         WhatOf(std::bad_array_new_length())},
        {"CAtlException", [] { pxLib::AtlThrow(static_cast<int32_t>(0x80070005)); }, 21,
         u"CAtlException", u"0x80070005"},
        {"CAtlException small", [] { throw pxLib::CAtlException(0x2a); }, 21, u"CAtlException",
         u"0x0000002A"},
        {"char", [] { throw 'Q'; }, 22, u"char", u"Q"},
        {"unsigned char", [] { throw static_cast<unsigned char>(200); }, 23, u"unsigned char",
         u"200"},
        {"short", [] { throw static_cast<short>(-5); }, 24, u"short", u"-5"},
        {"unsigned short", [] { throw static_cast<unsigned short>(65535); }, 25, u"unsigned short",
         u"65535"},
        {"int", [] { throw -7; }, 26, u"int", u"-7"},
        {"unsigned int", [] { throw 4000000000u; }, 27, u"unsigned int", u"4000000000"},
        {"long", [] { throw -123456L; }, 28, u"long", u"-123456"},
        {"unsigned long", [] { throw 4000000001UL; }, 29, u"unsigned long", u"4000000001"},
        {"LPCSTR", [] { throw "narrow text"; }, 30, u"LPCSTR", u"narrow text"},
        {"LPCSTR null", [] { throw static_cast<const char*>(nullptr); }, 30, u"LPCSTR", u""},
        {"LPCWSTR", [] { throw L"wide text \u00e9"; }, 31, u"LPCWSTR", u"wide text \u00e9"},
        {"LPCWSTR utf16", [] { throw u"utf16 text"; }, 31, u"LPCWSTR", u"utf16 text"},
        {"outside the table", [] { throw NotInTheTable(); }, 32, u"unknown", u""},
        {"double", [] { throw 2.5; }, 32, u"unknown", u""},
    };
}

TEST(ExceptionRecord, StartsEmpty) {
    pxLib::ExceptionRecord record;
    EXPECT_EQ(record.Kind(), 0u);
    EXPECT_EQ(record.Line(), 0u);
    EXPECT_TRUE(record.TypeName().empty());
}

TEST(ExceptionRecord, ClassifiesEveryKindItCatches) {
    for (const auto& c : KindCases()) {
        SCOPED_TRACE(c.name);
        const pxLib::ExceptionRecord record = Guarded(c.thrower);
        EXPECT_EQ(record.Kind(), c.kind);
        EXPECT_EQ(record.TypeName(), c.typeName);
        EXPECT_EQ(record.Message(), c.message);
        EXPECT_EQ(record.SourceName(), u"FileCache");
        EXPECT_EQ(record.Line(), 4711u);
    }
}

#ifdef _WIN32
TEST(ExceptionRecord, ComErrorsCarryTheSystemMessageOfTheirResult) {
    const pxLib::ExceptionRecord record = Guarded([] { throw _com_error(E_OUTOFMEMORY); });
    EXPECT_EQ(record.Kind(), 20u);
    EXPECT_EQ(record.TypeName(), u"_com_error");
    EXPECT_FALSE(record.Message().empty());
    EXPECT_EQ(record.Message(), pxLib::ToU16(_com_error(E_OUTOFMEMORY).ErrorMessage()));
}
#endif

TEST(ExceptionRecord, CaptureOutsideAHandlerLeavesTheRecordEmpty) {
    pxLib::ExceptionRecord record;
    EXPECT_FALSE(record.Capture(u"FileCache", 1));
    EXPECT_EQ(record.Kind(), 0u);
}

TEST(ExceptionRecord, ASiteThatCatchesOnlyAllocationAndAtlFailuresRecordsThem) {
    const auto site = [](const std::function<void()>& body) {
        pxLib::ExceptionRecord record;
        try {
            body();
        } catch (const std::bad_alloc&) {
            record.Capture(u"pxPathExpansion", 88);
        } catch (const pxLib::CAtlException&) {
            record.Capture(u"pxPathExpansion", 90);
        }
        return record;
    };
    const auto memory = site([] { throw std::bad_alloc(); });
    EXPECT_EQ(memory.Kind(), 19u);
    EXPECT_EQ(memory.Line(), 88u);
    const auto atl = site([] { throw pxLib::CAtlException(static_cast<int32_t>(0x8007000E)); });
    EXPECT_EQ(atl.Kind(), 21u);
    EXPECT_EQ(atl.Message(), u"0x8007000E");
    EXPECT_EQ(atl.Line(), 90u);
}

TEST(ExceptionRecord, ReportsTypeNameAndMessageAtErrorLevel) {
    TraceRecorder recorder;
    ScopedTraceSession session(2, 1);
    Guarded([] { throw std::runtime_error("broken"); });
    Guarded([] { throw NotInTheTable(); });
    ASSERT_EQ(recorder.events.size(), 2u);
    ASSERT_EQ(recorder.events[0].args.size(), 2u);
    EXPECT_EQ(recorder.events[0].args[0], Utf16Bytes(u"std::exception"));
    EXPECT_EQ(recorder.events[0].args[1], Utf16Bytes(u"broken"));
    // An empty message travels as "<NULL>".
    EXPECT_EQ(recorder.events[1].args[0], Utf16Bytes(u"unknown"));
    EXPECT_EQ(recorder.events[1].args[1], Utf16Bytes(u"<NULL>"));
    EXPECT_EQ(recorder.events[0].messageNumber, recorder.events[1].messageNumber);
}

TEST(ExceptionRecord, NoSessionNoEventButTheRecordIsStillFilled) {
    TraceRecorder recorder;
    ScopedTraceSession session(5, 0);
    const auto record = Guarded([] { throw 3; });
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(record.Kind(), 26u);
}

TEST(ExceptionRecord, ReportExceptionEmitsOneEventWithBothStrings) {
    TraceRecorder recorder;
    {
        ScopedTraceSession warningsOnly(1, 1);
        pxLib::ReportException(u"int", u"5");
        EXPECT_TRUE(recorder.events.empty());
    }
    ScopedTraceSession session(2, 1);
    pxLib::ReportException(u"int", u"5");
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].args[0], Utf16Bytes(u"int"));
    EXPECT_EQ(recorder.events[0].args[1], Utf16Bytes(u"5"));
}

}  // namespace
