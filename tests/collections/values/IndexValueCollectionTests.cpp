// The index-value collection: positions instead of keys, the same header and
// value form, and loads that name positions outside the count.
#include "collections/HexBytes.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/archive/MemoryStream.h"

#include <gtest/gtest.h>

namespace {

using pxLib::pxTavIndexValueCollection;
using qvdtest::Hex;
using qvdtest::ToHex;

const char kEmptyHeader[] = "06 01000000 0A 01 0A 00 06 01000000";

bool Load(pxTavIndexValueCollection& collection, const std::string& hex) {
    auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex(hex));
    return collection.Load(stream.get());
}

TEST(IndexValueCollection, SavesFromPositionZeroUpward) {
    pxTavIndexValueCollection collection;
    ASSERT_TRUE(collection.SetString(0, u"x"));
    ASSERT_TRUE(collection.SetInt8(1, -1));
    EXPECT_FALSE(collection.SetInt8(5, 1));  // only existing positions or the next one
    ASSERT_TRUE(collection.SetEmpty(2));
    auto stream = pxLib::MemoryStream::Create();
    ASSERT_TRUE(collection.Save(stream.get()));
    EXPECT_EQ(ToHex(stream->Data()),
              Hex(std::string(kEmptyHeader) + "03 03000000"
                                              "  03 00000000 01 0E 08 04000000 7800 0000"
                                              "  03 01000000 01 02 0C FF"
                                              "  03 02000000 01 00"));

    pxTavIndexValueCollection loaded;
    ASSERT_TRUE(loaded.Load(pxLib::MemoryStream::Create(stream->Data()).get()));
    auto again = pxLib::MemoryStream::Create();
    ASSERT_TRUE(loaded.Save(again.get()));
    EXPECT_EQ(again->Data(), stream->Data());
}

TEST(IndexValueCollection, StoredIndexesPickTheSlotsOfAPresizedCollection) {
    pxTavIndexValueCollection collection;
    ASSERT_TRUE(Load(collection, std::string(kEmptyHeader) + "03 03000000"
                                                             "  03 02000000 01 03 01 09"
                                                             "  03 00000000 01 03 01 07"
                                                             "  03 02000000 01 03 01 08"));
    EXPECT_EQ(collection.GetCount(), 3u);
    uint8_t value;
    ASSERT_TRUE(collection.GetUInt8(0, value));
    EXPECT_EQ(value, 7);
    EXPECT_EQ(collection.GetValueKind(1), pxLib::ValueKind::Empty);  // never named
    ASSERT_TRUE(collection.GetUInt8(2, value));
    EXPECT_EQ(value, 8);
}

TEST(IndexValueCollection, AnIndexOutsideTheCountFailsTheLoad) {
    pxTavIndexValueCollection collection;
    EXPECT_TRUE(collection.SetUInt8(0, 1));
    EXPECT_FALSE(Load(collection, std::string(kEmptyHeader) + "03 01000000  03 01000000 01 00"));
    EXPECT_EQ(collection.GetCount(), 0u);
    EXPECT_FALSE(Load(collection, std::string(kEmptyHeader) + "03 FFFFFFFF  03 00000000 01 00"));
    EXPECT_EQ(collection.GetCount(), 0u);
}

TEST(IndexValueCollection, RemoveAndResizeShiftAndPad) {
    pxTavIndexValueCollection collection;
    EXPECT_TRUE(collection.SetUInt16(0, 10));
    EXPECT_TRUE(collection.SetUInt16(1, 11));
    EXPECT_TRUE(collection.SetUInt16(2, 12));
    ASSERT_TRUE(collection.Remove(0));
    uint16_t value;
    ASSERT_TRUE(collection.GetUInt16(0, value));
    EXPECT_EQ(value, 11);
    EXPECT_FALSE(collection.Remove(2));
    ASSERT_TRUE(collection.Resize(4));
    EXPECT_EQ(collection.GetCount(), 4u);
    EXPECT_EQ(collection.GetValueKind(3), pxLib::ValueKind::Empty);
}

}  // namespace
