// The element layer of the archive: exact bytes, byte counting, and the rule
// that a failed element leaves position and byte count where they were.
#include "collections/HexBytes.h"

#include "collections/archive/DummyArchive.h"
#include "collections/archive/MemoryArchive.h"
#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "collections/archive/TavStreamArchive.h"

#include <gtest/gtest.h>

namespace {

using pxLib::CArchive;
using pxLib::CMemoryArchive;
using qvdtest::Hex;
using qvdtest::ToHex;

CMemoryArchive Loader(const std::string& hex) {
    return CMemoryArchive(CArchive::Mode::Load, qvdtest::FromHex(hex));
}

uint64_t PositionOf(CArchive& archive) {
    uint64_t position = ~0ull;
    EXPECT_TRUE(archive.GetPosition(position));
    return position;
}

TEST(ArchiveElements, ScalarTagsWriteTheTagThenTheValueLowByteFirst) {
    CMemoryArchive archive(CArchive::Mode::Store);
    ASSERT_TRUE(archive.WriteUInt32(0x11223344));
    EXPECT_EQ(ToHex(archive.Block()), Hex("03 44332211"));
    EXPECT_EQ(archive.GetByteCount(), 5u);

    ASSERT_TRUE(archive.WriteInt32(-2));
    ASSERT_TRUE(archive.WriteBool(true));
    ASSERT_TRUE(archive.WriteUInt64(0x0102030405060708ull));
    ASSERT_TRUE(archive.WriteInt16(-1));
    EXPECT_EQ(ToHex(archive.Block()), Hex("03 44332211  06 FEFFFFFF  0A 01  04 0807060504030201"
                                          "  0D FFFF"));
    EXPECT_EQ(archive.GetByteCount(), 5u + 5 + 2 + 9 + 3);
}

TEST(ArchiveElements, AWideStringCarriesItsLengthAndTerminator) {
    CMemoryArchive archive(CArchive::Mode::Store);
    ASSERT_TRUE(archive.WriteWString(u"ab"));
    EXPECT_EQ(ToHex(archive.Block()), Hex("08 06000000 6100 6200 0000"));
    EXPECT_EQ(archive.GetByteCount(), 11u);

    ASSERT_TRUE(archive.WriteString("ab"));
    EXPECT_EQ(archive.GetByteCount(), 11u + 8);
    EXPECT_EQ(ToHex(archive.Block()).substr(22), Hex("07 03000000 61 62 00"));
}

TEST(ArchiveElements, EveryTagHasItsWidthAndReadsBackAsWritten) {
    const struct {
        uint8_t tag;
        uint32_t size;
    } cases[] = {{1, 1},   {2, 2},  {3, 4},  {4, 8},  {5, 8},  {6, 4},   {7, 3},  {8, 4},
                 {9, 300}, {10, 1}, {12, 1}, {13, 2}, {14, 8}, {15, 16}, {16, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.tag));
        std::vector<uint8_t> payload(c.size);
        for (uint32_t i = 0; i < c.size; ++i) payload[i] = static_cast<uint8_t>(i * 7 + 1);
        if (c.tag == 7 || c.tag == 8) payload.assign(c.size, 0);  // terminated text
        CMemoryArchive store(CArchive::Mode::Store);
        ASSERT_TRUE(store.Write(CArchive::Tag{c.tag}, payload.data(), c.size));
        const uint32_t header = CArchive::IsVariableSize(CArchive::Tag{c.tag}) ? 5 : 1;
        EXPECT_EQ(store.Block().size(), header + c.size);
        EXPECT_EQ(store.GetByteCount(), header + c.size);
        EXPECT_EQ(CArchive::FixedSize(CArchive::Tag{c.tag}), header == 1 ? c.size : 0u);

        CMemoryArchive load(CArchive::Mode::Load, store.Block());
        CArchive::Tag tag;
        uint32_t size;
        ASSERT_TRUE(load.PeekElement(tag, size));
        EXPECT_EQ(CArchive::TagByte(tag), c.tag);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(PositionOf(load), 0u);
        std::vector<uint8_t> read(c.size + 4, 0xEE);
        ASSERT_TRUE(load.Read(CArchive::Tag{c.tag}, read.data(), c.size + 4, size));
        EXPECT_EQ(size, c.size);
        read.resize(size);
        EXPECT_EQ(read, payload);
        EXPECT_EQ(load.GetByteCount(), header + c.size);
    }
}

TEST(ArchiveElements, InvalidTagsAreNeitherWrittenNorReadAndPeekTreatsThemAsVariable) {
    CMemoryArchive store(CArchive::Mode::Store);
    const uint32_t value = 1;
    EXPECT_FALSE(store.Write(CArchive::Tag{0}, &value, 4));
    EXPECT_FALSE(store.Write(CArchive::Tag{17}, &value, 4));
    EXPECT_FALSE(store.Write(CArchive::Tag::eUInt32Data, &value, 2));  // wrong width for the tag
    EXPECT_TRUE(store.Block().empty());
    EXPECT_FALSE(CArchive::IsValidTag(CArchive::Tag{0}));
    EXPECT_EQ(CArchive::FixedSize(CArchive::Tag{0}), 0u);
    EXPECT_EQ(CArchive::FixedSize(CArchive::Tag{200}), 0u);

    CMemoryArchive load = Loader("11 02000000 AAAA");
    CArchive::Tag tag;
    uint32_t size;
    ASSERT_TRUE(load.PeekElement(tag, size));
    EXPECT_EQ(CArchive::TagByte(tag), 17);
    EXPECT_EQ(size, 2u);
    uint8_t buffer[8];
    EXPECT_FALSE(load.Read(CArchive::Tag{17}, buffer, 8, size));
}

// Each case fails on a load archive and must leave position and count alone.
TEST(ArchiveElements, AFailedReadLeavesPositionAndByteCountUnchanged) {
    const struct {
        const char* name;
        const char* data;
        bool (*read)(CArchive&);
    } cases[] = {
        {"wrong tag", "06 01000000",
         [](CArchive& a) {
             uint32_t v;
             return a.ReadUInt32(v);
         }},
        {"truncated scalar", "03 0100",
         [](CArchive& a) {
             uint32_t v;
             return a.ReadUInt32(v);
         }},
        {"wide string into a smaller buffer", "08 06000000 6100 6200 0000",
         [](CArchive& a) {
             char16_t buffer[2];
             return a.ReadWString(buffer, 2);
         }},
        {"wide string without terminator", "08 04000000 6100 6200",
         [](CArchive& a) {
             std::u16string text;
             return a.ReadWString(text);
         }},
        {"wide string of odd length", "08 03000000 6100 00",
         [](CArchive& a) {
             std::u16string text;
             return a.ReadWString(text);
         }},
        {"narrow string without terminator", "07 02000000 6162",
         [](CArchive& a) {
             std::string text;
             return a.ReadString(text);
         }},
        {"empty narrow string element", "07 00000000",
         [](CArchive& a) {
             std::string text;
             return a.ReadString(text);
         }},
        {"binary longer than the data", "09 FFFFFFFF 0102",
         [](CArchive& a) {
             std::vector<uint8_t> block;
             return a.ReadBinary(block);
         }},
        {"variable length cut short", "09 0100",
         [](CArchive& a) {
             std::vector<uint8_t> block;
             return a.ReadBinary(block);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Behind a valid element, so the position to return to is not 0.
        CMemoryArchive archive = Loader(std::string("0A 01 ") + c.data);
        bool flag;
        ASSERT_TRUE(archive.ReadBool(flag));
        EXPECT_FALSE(c.read(archive));
        EXPECT_EQ(PositionOf(archive), 2u);
        EXPECT_EQ(archive.GetByteCount(), 2u);
    }
}

TEST(ArchiveElements, StringsReadUpToTheirTerminator) {
    CMemoryArchive archive = Loader("08 06000000 6100 6200 0000  07 05000000 78 00 79 00 00");
    char16_t buffer[3];
    std::string narrow;
    ASSERT_TRUE(archive.ReadWString(buffer, 3));
    EXPECT_EQ(std::u16string(buffer), u"ab");
    ASSERT_TRUE(archive.ReadString(narrow));
    EXPECT_EQ(narrow, "x");  // an embedded NUL ends the text
    EXPECT_EQ(archive.GetByteCount(), 11u + 10);
}

TEST(ArchiveElements, AStoreArchiveRefusesReadsAndALoadArchiveRefusesWrites) {
    CMemoryArchive store(CArchive::Mode::Store);
    uint32_t value = 0;
    CArchive::Tag tag;
    uint32_t size;
    EXPECT_FALSE(store.ReadUInt32(value));
    EXPECT_FALSE(store.PeekElement(tag, size));
    pxLib::Variant variant;
    EXPECT_FALSE(store.ReadVariant(variant));

    CMemoryArchive load = Loader("03 01000000");
    EXPECT_FALSE(load.WriteUInt32(7));
    EXPECT_FALSE(load.WriteVariant(pxLib::Variant::I4(1)));
    EXPECT_EQ(load.Block().size(), 5u);
    EXPECT_EQ(load.GetByteCount(), 0u);

    pxLib::CDummyArchive dummy;
    EXPECT_FALSE(dummy.ReadUInt32(value));
}

TEST(ArchiveElements, AWriteThatDoesNotFitReturnsToTheStartOfTheElement) {
    // A stream archive over a 12-byte region: a 5-byte element fits, a 40-byte
    // block does not, even though its header would.
    auto stream = pxLib::MemoryStream::Create(std::vector<uint8_t>(12, 0));
    pxLib::RefPtr<pxLib::IByteStream> region(
        new pxLib::RegionStream(pxLib::RefPtr<pxLib::IByteStream>(stream.get()), 0, 12));
    pxLib::CTavStreamArchive archive(CArchive::Mode::Store, region.get());
    ASSERT_TRUE(archive.WriteUInt32(5));
    const std::vector<uint8_t> block(40, 0xAB);
    EXPECT_FALSE(archive.WriteBinary(block.data(), 40));
    EXPECT_EQ(PositionOf(archive), 5u);
    EXPECT_EQ(archive.GetByteCount(), 5u);
    ASSERT_TRUE(archive.WriteUInt32(6));
    EXPECT_EQ(ToHex(stream->Data()), Hex("03 05000000 03 06000000 0000"));
}

TEST(ArchiveElements, TheMemoryArchiveGrowsToExactlyWhatWasWritten) {
    CMemoryArchive archive(CArchive::Mode::Store);
    ASSERT_TRUE(archive.WriteUInt8(1));
    EXPECT_EQ(archive.Block().size(), 2u);
    ASSERT_TRUE(archive.SetPosition(1));
    EXPECT_FALSE(archive.SetPosition(3));
    ASSERT_TRUE(archive.WriteUInt16(0xBEEF));  // overwrites from position 1
    EXPECT_EQ(ToHex(archive.Block()), Hex("01 02 EFBE"));
}

TEST(ArchiveElements, TheStreamArchiveStartsWhereTheStreamIsAndTracksItsHighestPosition) {
    auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex("FFFF"));
    ASSERT_TRUE(stream->SetPosition(2));
    pxLib::CTavStreamArchive archive(CArchive::Mode::Store, stream.get());
    EXPECT_EQ(archive.GetStartPosition(), 2u);
    ASSERT_TRUE(archive.WriteInt8(-1));
    ASSERT_TRUE(archive.WriteUInt32(9));
    EXPECT_EQ(archive.GetHighWaterMark(), 9u);
    ASSERT_TRUE(archive.SetPosition(2));
    ASSERT_TRUE(archive.WriteInt8(5));
    EXPECT_EQ(archive.GetHighWaterMark(), 9u);
    EXPECT_FALSE(archive.SetPosition(10));
    EXPECT_EQ(ToHex(stream->Data()), Hex("FFFF 0C 05 03 09000000"));

    pxLib::CTavStreamArchive detached(CArchive::Mode::Store);
    uint64_t position;
    EXPECT_FALSE(detached.GetPosition(position));
    EXPECT_FALSE(detached.SetPosition(0));
    EXPECT_FALSE(detached.WriteUInt8(1));
}

TEST(ArchiveElements, TheDummyArchiveCountsWithoutKeeping) {
    pxLib::CDummyArchive archive;
    ASSERT_TRUE(archive.WriteWString(u"ab"));
    ASSERT_TRUE(archive.WriteUInt64(1));
    EXPECT_EQ(archive.GetByteCount(), 20u);
    EXPECT_EQ(archive.GetBytesWritten(), 20u);
    EXPECT_EQ(PositionOf(archive), 0u);
    EXPECT_TRUE(archive.SetPosition(12345));
}

// Regions: exactly the requested bytes at the position, the archive moved past them.
TEST(ArchiveElements, SubStreamsAreConfinedToTheirRegion) {
    const uint8_t four[4] = {1, 2, 3, 4};
    uint8_t buffer[5];
    {
        CMemoryArchive archive(CArchive::Mode::Store);
        ASSERT_TRUE(archive.WriteUInt8(7));
        pxLib::RefPtr<pxLib::IByteStream> region;
        EXPECT_FALSE(archive.CreateSubStream(4, false, region));  // nothing to reserve yet
        ASSERT_TRUE(archive.CreateSubStream(4, true, region));
        EXPECT_EQ(PositionOf(archive), 6u);
        EXPECT_EQ(archive.Block().size(), 6u);
        ASSERT_TRUE(archive.WriteUInt8(8));  // may move the block; the region must follow
        EXPECT_FALSE(region->Write(four, 5));
        ASSERT_TRUE(region->Write(four, 4));
        EXPECT_FALSE(region->Write(four, 1));
        EXPECT_FALSE(region->SetSize(10));
        EXPECT_EQ(ToHex(archive.Block()), Hex("01 07 01020304 01 08"));
        ASSERT_TRUE(region->SetPosition(1));
        ASSERT_TRUE(region->Read(buffer, 3));
        EXPECT_EQ(buffer[0], 2);
        EXPECT_FALSE(region->Read(buffer, 1));
    }
    {
        auto stream = pxLib::MemoryStream::Create();
        pxLib::CTavStreamArchive archive(CArchive::Mode::Store, stream.get());
        ASSERT_TRUE(archive.WriteUInt8(7));
        pxLib::RefPtr<pxLib::IByteStream> region;
        ASSERT_TRUE(archive.CreateSubStream(4, true, region));
        EXPECT_EQ(PositionOf(archive), 6u);
        EXPECT_EQ(stream->Data().size(), 6u);
        ASSERT_TRUE(region->Write(four, 4));
        EXPECT_FALSE(region->Write(four, 1));
        ASSERT_TRUE(archive.WriteUInt8(8));
        EXPECT_EQ(ToHex(stream->Data()), Hex("01 07 01020304 01 08"));

        pxLib::CTavStreamArchive load(CArchive::Mode::Load, stream.get());
        ASSERT_TRUE(load.SetPosition(2));
        EXPECT_FALSE(load.CreateSubStream(7, true, region));  // a load never grows the stream
        ASSERT_TRUE(load.CreateSubStream(4, false, region));
        ASSERT_TRUE(region->Read(buffer, 4));
        EXPECT_EQ(buffer[3], 4);
    }
    {
        pxLib::CDummyArchive archive;
        pxLib::RefPtr<pxLib::IByteStream> region;
        ASSERT_TRUE(archive.CreateSubStream(4, true, region));
        EXPECT_EQ(archive.GetBytesWritten(), 4u);
        EXPECT_TRUE(region->Write(four, 4));
        EXPECT_FALSE(region->Write(four, 1));
        EXPECT_FALSE(region->Read(buffer, 1));
    }
}

TEST(ArchiveElements, RegionElementsCarryTheirSizeAndFailWhole) {
    CMemoryArchive archive(CArchive::Mode::Store);
    ASSERT_TRUE(archive.WriteRegionElement(CArchive::Tag::BinaryData, 3, [](pxLib::IByteStream& r) {
        const uint8_t bytes[3] = {9, 8, 7};
        return r.Write(bytes, 3);
    }));
    EXPECT_FALSE(archive.WriteRegionElement(CArchive::Tag::BinaryData, 2,
                                            [](pxLib::IByteStream&) { return false; }));
    EXPECT_EQ(PositionOf(archive), 8u);
    EXPECT_EQ(archive.GetByteCount(), 8u);

    CMemoryArchive load(CArchive::Mode::Load, archive.Block());
    EXPECT_FALSE(load.ReadRegionElement(CArchive::Tag::StringData,
                                        [](pxLib::IByteStream&, uint32_t) { return true; }));
    uint32_t seen = 0;
    ASSERT_TRUE(load.ReadRegionElement(CArchive::Tag::BinaryData,
                                       [&](pxLib::IByteStream& r, uint32_t size) {
                                           uint8_t first;
                                           seen = size;
                                           return r.Read(&first, 1) && first == 9;
                                       }));
    EXPECT_EQ(seen, 3u);
    EXPECT_EQ(load.GetByteCount(), 8u);
}

}  // namespace
