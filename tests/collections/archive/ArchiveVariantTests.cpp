// VARIANT bodies in tag-11 elements: exact bytes, round trips of every
// storable type, and the refusals on both sides.
#include "collections/HexBytes.h"

#include "collections/archive/DummyArchive.h"
#include "collections/archive/MemoryArchive.h"

#include <gtest/gtest.h>

namespace {

using pxLib::CArchive;
using pxLib::CMemoryArchive;
using pxLib::Variant;
using qvdtest::Hex;
using qvdtest::ToHex;

std::vector<uint8_t> Stored(const Variant& value) {
    CMemoryArchive archive(CArchive::Mode::Store);
    EXPECT_TRUE(archive.WriteVariant(value));
    EXPECT_EQ(archive.GetByteCount(), archive.Block().size());
    return archive.Block();
}

Variant Nested(uint32_t depth) {
    Variant value = Variant::I4(1);
    for (uint32_t i = 1; i < depth; ++i) value = Variant::VariantArray({value});
    return value;
}

TEST(ArchiveVariants, BodiesAreTheTypeWordThenThePayload) {
    pxLib::VariantDecimal decimal;
    decimal.scale = 2;
    decimal.sign = 0x80;
    decimal.hi32 = 1;
    decimal.lo64 = 0x0807060504030201ull;
    const struct {
        const char* name;
        Variant value;
        const char* bytes;
    } cases[] = {
        {"empty", Variant(), "0B 02000000 0000"},
        {"I1", Variant::I1(-2), "0B 03000000 1000 FE"},
        {"UI1", Variant::UI1(0x7F), "0B 03000000 1100 7F"},
        {"I2", Variant::I2(-2), "0B 04000000 0200 FEFF"},
        {"BOOL", Variant::Bool(true), "0B 04000000 0B00 FFFF"},
        {"UI2", Variant::UI2(0x1234), "0B 04000000 1200 3412"},
        {"I4", Variant::I4(-1), "0B 06000000 0300 FFFFFFFF"},
        {"R4", Variant::R4(1.0f), "0B 06000000 0400 0000803F"},
        {"UI4", Variant::UI4(7), "0B 06000000 1300 07000000"},
        {"INT", Variant::Int(-3), "0B 06000000 1600 FDFFFFFF"},
        {"UINT", Variant::UInt(3), "0B 06000000 1700 03000000"},
        {"R8", Variant::R8(1.0), "0B 0A000000 0500 000000000000F03F"},
        {"DATE", Variant::Date(2.0), "0B 0A000000 0700 0000000000000040"},
        {"I8", Variant::I8(-1), "0B 0A000000 1400 FFFFFFFFFFFFFFFF"},
        {"UI8", Variant::UI8(0x0102030405060708ull), "0B 0A000000 1500 0807060504030201"},
        {"DECIMAL", Variant::Decimal(decimal),
         "0B 12000000 0E00 0E00 02 80 01000000 0102030405060708"},
        {"BSTR", Variant::Bstr(u"hi"), "0B 0A000000 0800 04000000 6800 6900"},
        {"odd BSTR", Variant::BstrBytes({0x41}), "0B 07000000 0800 01000000 41"},
        {"UI1 array", Variant::ByteArray({1, 2, 3}), "0B 09000000 1120 03000000 010203"},
        {"VARIANT array",
         Variant::VariantArray({Variant::UI1(5), Variant::VariantArray({}), Variant()}),
         "0B 11000000 0C20 03000000 1100 05 0C20 00000000 0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = Stored(c.value);
        EXPECT_EQ(ToHex(bytes), Hex(c.bytes));

        CMemoryArchive load(CArchive::Mode::Load, bytes);
        Variant read = Variant::I4(99);
        ASSERT_TRUE(load.ReadVariant(read));
        EXPECT_TRUE(read == c.value);
        EXPECT_EQ(load.GetByteCount(), bytes.size());

        pxLib::CDummyArchive measure;
        ASSERT_TRUE(measure.WriteVariant(c.value));
        EXPECT_EQ(measure.GetByteCount(), bytes.size());
    }
}

TEST(ArchiveVariants, ValuesTheArchiveCannotReadBackAreNeverWritten) {
    const struct {
        const char* name;
        Variant value;
    } cases[] = {
        {"zero-element byte array", Variant::ByteArray({})},
        {"zero-element byte array inside an array",
         Variant::VariantArray({Variant::I4(1), Variant::ByteArray({})})},
        {"nesting beyond the limit", Nested(pxLib::kMaxVariantNesting + 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryArchive archive(CArchive::Mode::Store);
        ASSERT_TRUE(archive.WriteUInt8(1));
        EXPECT_FALSE(c.value.IsStorable());
        EXPECT_FALSE(archive.WriteVariant(c.value));
        EXPECT_EQ(archive.Block().size(), 2u);
        EXPECT_EQ(archive.GetByteCount(), 2u);
    }
    EXPECT_TRUE(Nested(pxLib::kMaxVariantNesting).IsStorable());
    // Something outside the list of types cannot even be made.
    EXPECT_EQ(Variant::Scalar(static_cast<pxLib::VariantType>(13) /* VT_UNKNOWN */, 0).Type(),
              pxLib::VariantType::Empty);
}

TEST(ArchiveVariants, TheDeepestStorableNestingReadsBack) {
    const Variant deep = Nested(pxLib::kMaxVariantNesting);
    CMemoryArchive load(CArchive::Mode::Load, Stored(deep));
    Variant read;
    ASSERT_TRUE(load.ReadVariant(read));
    EXPECT_TRUE(read == deep);
}

// Each body is wrapped in a tag-11 element whose length is the body's size
// unless the case gives one.
TEST(ArchiveVariants, MalformedBodiesFailAndLeaveEverythingWhereItWas) {
    const struct {
        const char* name;
        const char* element;
    } cases[] = {
        {"not tag 11", "0A 01"},
        {"unknown variant type VT_UNKNOWN", "0B 02000000 0D00"},
        {"VT_NULL", "0B 02000000 0100"},
        {"by-reference type", "0B 06000000 0340 00000000"},
        {"array of I4", "0B 06000000 0320 00000000"},
        {"zero-element byte array", "0B 06000000 1120 00000000"},
        {"decimal whose record does not repeat VT_DECIMAL",
         "0B 12000000 0E00 0800 02 80 01000000 0102030405060708"},
        {"length longer than the body", "0B 07000000 0300 01000000 FF"},
        {"length shorter than the body", "0B 05000000 0300 01000000"},
        {"BSTR longer than the element", "0B 0A000000 0800 08000000 6800 6900"},
        {"array count beyond the element", "0B 08000000 0C20 05000000 0000"},
        {"truncated scalar", "0B 06000000 0300 0100"},
        {"nesting beyond the limit", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> element;
        if (c.element) {
            element = qvdtest::FromHex(c.element);
        } else {
            // 65 nested one-element arrays around an empty variant.
            std::vector<uint8_t> body;
            for (uint32_t i = 0; i <= pxLib::kMaxVariantNesting; ++i)
                body.insert(body.end(), {0x0C, 0x20, 1, 0, 0, 0});
            body.insert(body.end(), {0, 0});
            const uint32_t length = static_cast<uint32_t>(body.size());
            element = {0x0B, uint8_t(length), uint8_t(length >> 8), 0, 0};
            element.insert(element.end(), body.begin(), body.end());
        }
        std::vector<uint8_t> data = {0x01, 0x05};  // one element in front
        data.insert(data.end(), element.begin(), element.end());
        CMemoryArchive load(CArchive::Mode::Load, data);
        uint8_t first;
        ASSERT_TRUE(load.ReadUInt8(first));
        Variant read = Variant::I4(5);
        EXPECT_FALSE(load.ReadVariant(read));
        EXPECT_EQ(read.Type(), pxLib::VariantType::Empty);  // cleared before reading
        uint64_t position;
        ASSERT_TRUE(load.GetPosition(position));
        EXPECT_EQ(position, 2u);
        EXPECT_EQ(load.GetByteCount(), 2u);
    }
}

}  // namespace
