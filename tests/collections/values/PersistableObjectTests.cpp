// The string and memory objects: their persisted forms and the fixed texts
// they put on the trace channel when saving or loading fails.
#include "collections/HexBytes.h"
#include "support/logging/TraceRecorder.h"

#include "collections/values/MemoryImpl.h"
#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "collections/values/StringImpl.h"

#include <gtest/gtest.h>

namespace {

using pxLib::CMemoryImpl;
using pxLib::CStringImpl;
using pxLib::RefPtr;
using qvdtest::Hex;
using qvdtest::ToHex;

std::vector<uint8_t> Saved(pxLib::IPersistObject& object) {
    auto stream = pxLib::MemoryStream::Create();
    EXPECT_TRUE(object.Save(stream.get()));
    return stream->Data();
}

TEST(PersistableObjects, TheStringObjectPersistsItsTypeAndText) {
    auto object = CStringImpl::Create();
    EXPECT_EQ(ToHex(Saved(*object)), Hex("06 01000000 06 00000000"));
    object->SetNarrow("ab");
    EXPECT_EQ(ToHex(Saved(*object)), Hex("06 01000000 06 01000000 07 03000000 616200"));
    object->SetWide(u"ab");
    EXPECT_EQ(ToHex(Saved(*object)), Hex("06 01000000 06 02000000 08 06000000 6100 6200 0000"));

    auto loaded = CStringImpl::Create();
    auto stream = pxLib::MemoryStream::Create(Saved(*object));
    ASSERT_TRUE(loaded->Load(stream.get()));
    EXPECT_EQ(loaded->GetStringType(), CStringImpl::StringType::Wide);
    EXPECT_EQ(loaded->GetWide(), u"ab");
    pxLib::Guid classId;
    ASSERT_TRUE(loaded->GetClassId(classId));
    EXPECT_TRUE(classId == pxLib::CLSID_CStringImpl);
}

TEST(PersistableObjects, TheMemoryObjectPersistsItsBytes) {
    auto object = CMemoryImpl::Create();
    object->SetBytes({1, 2, 3});
    EXPECT_EQ(ToHex(Saved(*object)), Hex("06 01000000 09 03000000 010203"));
    uint64_t size;
    ASSERT_TRUE(object->GetSizeMax(size));
    EXPECT_EQ(size, 13u);

    RefPtr<pxLib::IRefObject> copy;
    ASSERT_TRUE(object->Clone(copy));
    RefPtr<CMemoryImpl> clone;
    ASSERT_EQ(pxLib::QueryInto(copy.get(), pxLib::CLSID_CMemoryImpl, clone), pxLib::OBJ_OK);
    EXPECT_NE(clone.get(), object.get());
    EXPECT_EQ(clone->GetBytes(), object->GetBytes());
}

// The event of one failure: the fixed text, the source file and a line.
struct ExpectedTrace {
    const char16_t* text;
    const char16_t* file;
};

void ExpectOneFailureTrace(const qvdtest::TraceRecorder& recorder, const ExpectedTrace& expected) {
    ASSERT_EQ(recorder.events.size(), 1u);
    const auto& args = recorder.events[0].args;
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0], qvdtest::Utf16Bytes(expected.text));
    EXPECT_EQ(args[1], qvdtest::Utf16Bytes(expected.file));
    ASSERT_EQ(args[2].size(), 4u);
    uint32_t line;
    std::memcpy(&line, args[2].data(), 4);
    EXPECT_GT(line, 0u);
}

// Saves into a stream that takes only `room` bytes.
bool SaveIntoRoom(pxLib::IPersistObject& object, uint64_t room) {
    auto stream = pxLib::MemoryStream::Create(std::vector<uint8_t>(room));
    RefPtr<pxLib::IByteStream> region(
        new pxLib::RegionStream(RefPtr<pxLib::IByteStream>(stream.get()), 0, room));
    return object.Save(region.get());
}

TEST(PersistableObjects, FailedSavesTraceTheirFixedTexts) {
    auto text = CStringImpl::Create();
    text->SetNarrow("abc");
    auto memory = CMemoryImpl::Create();
    memory->SetBytes({1, 2, 3});
    const struct {
        const char* name;
        pxLib::IPersistObject* object;
        uint64_t room;
        ExpectedTrace trace;
    } cases[] = {
        {"string version",
         text.get(),
         0,
         {u"Archive.Write(CStringImpl::Version) == FALSE\n", u"StringImpl.cpp"}},
        {"string type",
         text.get(),
         5,
         {u"CPersist::Write(static_cast<long>(m_eStringType)) == false\n", u"StringImpl.cpp"}},
        {"memory version",
         memory.get(),
         4,
         {u"Archive.Write(CMemoryImpl::CSerializeImpl::Version) == FALSE\n", u"MemoryImpl.cpp"}},
        {"memory bytes",
         memory.get(),
         12,
         {u"CPersist::Write(m_pMemory->m_Memory) == false\n", u"MemoryImpl.cpp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qvdtest::TraceRecorder recorder;
        qvdtest::ScopedTraceSession session(2, 1);
        EXPECT_FALSE(SaveIntoRoom(*c.object, c.room));
        ExpectOneFailureTrace(recorder, c.trace);
    }
    // With no listener nothing is recorded, and the failure stays a failure.
    qvdtest::TraceRecorder recorder;
    EXPECT_FALSE(SaveIntoRoom(*text, 0));
    EXPECT_TRUE(recorder.events.empty());
}

TEST(PersistableObjects, FailedLoadsTraceTheirFixedTexts) {
    const struct {
        const char* name;
        bool string;
        const char* bytes;
        ExpectedTrace trace;
    } cases[] = {
        {"string version missing",
         true,
         "",
         {u"Archive.Read(nVersion) == FALSE\n", u"StringImpl.cpp"}},
        {"string version 2",
         true,
         "06 02000000 06 00000000",
         {u"switch(default)\n", u"StringImpl.cpp"}},
        {"string type missing",
         true,
         "06 01000000 03 00000000",
         {u"CPersist::Read(reinterpret_cast<long&>(m_eStringType)) == false\n", u"StringImpl.cpp"}},
        {"memory version missing",
         false,
         "09 00000000",
         {u"Archive.Read(nVersion) == FALSE\n", u"MemoryImpl.cpp"}},
        {"memory version 0",
         false,
         "06 00000000 09 00000000",
         {u"switch(default)\n", u"MemoryImpl.cpp"}},
        {"memory bytes missing",
         false,
         "06 01000000 07 01000000 00",
         {u"CPersist::Read(m_pMemory->m_Memory) == false\n", u"MemoryImpl.cpp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RefPtr<pxLib::IPersistObject> object;
        if (c.string)
            object = RefPtr<pxLib::IPersistObject>(CStringImpl::Create().get());
        else
            object = RefPtr<pxLib::IPersistObject>(CMemoryImpl::Create().get());
        qvdtest::TraceRecorder recorder;
        qvdtest::ScopedTraceSession session(2, 1);
        auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex(c.bytes));
        EXPECT_FALSE(object->Load(stream.get()));
        ExpectOneFailureTrace(recorder, c.trace);
    }
}

TEST(PersistableObjects, AStringOfAnUnknownTypeIsNotLoaded) {
    auto object = CStringImpl::Create();
    object->SetNarrow("keep");
    auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex("06 01000000 06 03000000"));
    EXPECT_FALSE(object->Load(stream.get()));
    EXPECT_EQ(object->GetNarrow(), "keep");
}

}  // namespace
