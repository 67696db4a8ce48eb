// The key-value collection: its persisted form byte for byte, a round trip of
// every value kind, the header state, and the loads it refuses.
#include "collections/CollectionTestObjects.h"
#include "collections/HexBytes.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/archive/MemoryStream.h"
#include "collections/factory/ProcessObjectFactory.h"
#include "collections/values/StringImpl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using pxLib::pxTavIndexValueCollection;
using pxLib::pxTavKeyValueCollection;
using pxLib::RefPtr;
using pxLib::Variant;
using qvdtest::Hex;
using qvdtest::ToHex;

const char kEmptyHeader[] = "06 01000000 0A 01 0A 00 06 01000000";

std::vector<uint8_t> Saved(pxLib::IPersistObject& object) {
    auto stream = pxLib::MemoryStream::Create();
    EXPECT_TRUE(object.Save(stream.get()));
    return stream->Data();
}

bool LoadFrom(pxLib::IPersistObject& object, const std::vector<uint8_t>& bytes) {
    auto stream = pxLib::MemoryStream::Create(bytes);
    return object.Load(stream.get());
}

TEST(KeyValueCollection, AnEmptyCollectionSavesAsNineteenBytes) {
    pxTavKeyValueCollection collection;
    const std::vector<uint8_t> bytes = Saved(collection);
    EXPECT_EQ(ToHex(bytes), Hex("06 01000000 0A 01 0A 00 06 01000000 03 00000000"));
    EXPECT_EQ(bytes.size(), 19u);
    uint64_t size = 0;
    ASSERT_TRUE(collection.GetSizeMax(size));
    EXPECT_EQ(size, 19u);
}

TEST(KeyValueCollection, KeySevenWithTheStringXAddsItsEntry) {
    pxTavKeyValueCollection collection;
    ASSERT_TRUE(collection.SetString(7, u"x"));
    EXPECT_EQ(
        ToHex(Saved(collection)),
        Hex(std::string(kEmptyHeader) + "03 01000000  03 07000000 01 0E 08 04000000 7800 0000"));
}

TEST(KeyValueCollection, EntriesAreSavedInAscendingKeyOrderWithEachKindsTag) {
    pxTavKeyValueCollection collection;
    ASSERT_TRUE(collection.SetUInt32(9, 0xA0B0C0D0));
    ASSERT_TRUE(collection.SetBool(2, true));
    ASSERT_TRUE(collection.SetEmpty(5));
    ASSERT_TRUE(collection.SetInt16(0xFFFFFFFF, -2));
    ASSERT_TRUE(collection.SetAnsiString(3, "ab"));
    EXPECT_EQ(ToHex(Saved(collection)),
              Hex(std::string(kEmptyHeader) + "03 05000000"
                                              "  03 02000000 01 01 0A 01"
                                              "  03 03000000 01 0D 07 03000000 616200"
                                              "  03 05000000 01 00"
                                              "  03 09000000 01 07 03 D0C0B0A0"
                                              "  03 FFFFFFFF 01 04 0D FEFF"));
}

// A collection holding every kind, nested collections and objects included.
RefPtr<pxTavKeyValueCollection> EveryKind() {
    auto inner = pxTavIndexValueCollection::Create();
    EXPECT_TRUE(inner->SetString(0, u"first"));
    EXPECT_TRUE(inner->SetUInt64(1, 42));
    EXPECT_TRUE(inner->SetEmpty(2));
    inner->SetCloneObjects(true);

    auto nested = pxTavKeyValueCollection::Create();
    nested->SetOptionA(false);
    EXPECT_TRUE(nested->SetCacheSize(true));
    EXPECT_TRUE(nested->SetInt32(1, -7));
    EXPECT_TRUE(nested->SetObject(2, static_cast<pxLib::IPersistObject*>(inner.get())));

    auto narrow = pxLib::CStringImpl::Create();
    narrow->SetNarrow("narrow");
    auto wide = pxLib::CStringImpl::Create();
    wide->SetWide(u"wide \u00e9");
    auto none = pxLib::CStringImpl::Create();
    auto memory = pxLib::CMemoryImpl::Create();
    memory->SetBytes({0, 1, 2, 0xFF});

    const pxLib::Guid guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    pxLib::Record16 record;
    for (int i = 0; i < 16; ++i) record.bytes[i] = static_cast<uint8_t>(0xF0 - i);
    pxLib::VariantDecimal decimal;
    decimal.scale = 4;
    decimal.lo64 = 123456789;

    auto c = pxTavKeyValueCollection::Create();
    EXPECT_TRUE(c->SetEmpty(0));
    EXPECT_TRUE(c->SetBool(1, true));
    EXPECT_TRUE(c->SetInt8(2, -128));
    EXPECT_TRUE(c->SetUInt8(3, 255));
    EXPECT_TRUE(c->SetInt16(4, -32768));
    EXPECT_TRUE(c->SetUInt16(5, 65535));
    EXPECT_TRUE(c->SetInt32(6, std::numeric_limits<int32_t>::min()));
    EXPECT_TRUE(c->SetUInt32(7, 0xFFFFFFFF));
    EXPECT_TRUE(c->SetInt64(8, std::numeric_limits<int64_t>::min()));
    EXPECT_TRUE(c->SetUInt64(9, 0xFFFFFFFFFFFFFFFFull));
    EXPECT_TRUE(c->SetDouble(10, -0.0));
    EXPECT_TRUE(c->SetDouble(110, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(c->SetGuid(11, guid));
    EXPECT_TRUE(c->SetRecord16(12, record));
    EXPECT_TRUE(c->SetAnsiString(13, "ansi"));
    EXPECT_TRUE(c->SetAnsiString(113, ""));
    EXPECT_TRUE(c->SetString(14, u"wide \u20ac"));
    EXPECT_TRUE(c->SetString(114, u""));
    EXPECT_TRUE(c->SetBinary(15, "\x01\x00\x02", 3));
    EXPECT_TRUE(c->SetBinary(115, nullptr, 0));
    EXPECT_TRUE(
        c->SetVariant(16, Variant::VariantArray({Variant::Bstr(u"b"), Variant::Decimal(decimal),
                                                 Variant::ByteArray({7}), Variant::R8(0.5)})));
    EXPECT_TRUE(c->SetVariant(116, Variant()));
    EXPECT_TRUE(c->SetObject(17, static_cast<pxLib::IPersistObject*>(nested.get())));
    EXPECT_TRUE(c->SetObject(117, static_cast<pxLib::IPersistObject*>(narrow.get())));
    EXPECT_TRUE(c->SetObject(217, static_cast<pxLib::IPersistObject*>(wide.get())));
    EXPECT_TRUE(c->SetObject(317, static_cast<pxLib::IPersistObject*>(none.get())));
    EXPECT_TRUE(c->SetObject(417, static_cast<pxLib::IPersistObject*>(memory.get())));
    EXPECT_TRUE(c->SetObject(
        517, static_cast<pxLib::IPersistObject*>(pxTavKeyValueCollection::Create().get())));
    return c;
}

TEST(KeyValueCollection, EveryKindSurvivesSaveLoadSaveByteForByte) {
    RefPtr<pxTavKeyValueCollection> original = EveryKind();
    ASSERT_EQ(original->GetCount(), 28u);
    const std::vector<uint8_t> first = Saved(*original);

    pxTavKeyValueCollection loaded;
    ASSERT_TRUE(LoadFrom(loaded, first));
    EXPECT_FALSE(loaded.IsDirty());
    EXPECT_EQ(loaded.GetKeys(), original->GetKeys());
    for (uint64_t key : original->GetKeys()) {
        SCOPED_TRACE(key);
        EXPECT_EQ(loaded.GetValueKind(key), original->GetValueKind(key));
        EXPECT_EQ(loaded.GetValueSize(key), original->GetValueSize(key));
    }
    const std::vector<uint8_t> second = Saved(loaded);
    EXPECT_EQ(ToHex(second), ToHex(first));

    // Spot checks through the typed accessors.
    int64_t i64;
    double d;
    std::u16string text;
    Variant variant;
    ASSERT_TRUE(loaded.GetInt64(8, i64));
    EXPECT_EQ(i64, std::numeric_limits<int64_t>::min());
    ASSERT_TRUE(loaded.GetDouble(110, d));
    EXPECT_TRUE(std::isnan(d));
    ASSERT_TRUE(loaded.GetString(14, text));
    EXPECT_EQ(text, u"wide \u20ac");
    ASSERT_TRUE(loaded.GetVariant(16, variant));
    EXPECT_EQ(variant.Elements().size(), 4u);

    RefPtr<pxLib::IRefObject> object;
    ASSERT_TRUE(loaded.GetObject(17, object));
    RefPtr<pxTavKeyValueCollection> nested;
    ASSERT_EQ(pxLib::QueryInto(object.get(), pxLib::CLSID_pxTavKeyValueCollection, nested),
              pxLib::OBJ_OK);
    EXPECT_FALSE(nested->GetOptionA());
    EXPECT_TRUE(nested->GetCacheSize());
    ASSERT_TRUE(nested->GetObject(2, object));
    RefPtr<pxTavIndexValueCollection> inner;
    ASSERT_EQ(pxLib::QueryInto(object.get(), pxLib::CLSID_pxTavIndexValueCollection, inner),
              pxLib::OBJ_OK);
    EXPECT_TRUE(inner->GetCloneObjects());
    ASSERT_TRUE(inner->GetString(0, text));
    EXPECT_EQ(text, u"first");

    ASSERT_TRUE(loaded.GetObject(217, object));
    RefPtr<pxLib::CStringImpl> wide;
    ASSERT_EQ(pxLib::QueryInto(object.get(), pxLib::CLSID_CStringImpl, wide), pxLib::OBJ_OK);
    EXPECT_EQ(wide->GetStringType(), pxLib::CStringImpl::StringType::Wide);
    EXPECT_EQ(wide->GetWide(), u"wide \u00e9");
}

TEST(KeyValueCollection, AnObjectValueIsItsClassIdThenItsOwnBytesInPlace) {
    auto text = pxLib::CStringImpl::Create();
    text->SetNarrow("hi");
    pxTavKeyValueCollection collection;
    ASSERT_TRUE(collection.SetObject(1, static_cast<pxLib::IPersistObject*>(text.get())));
    EXPECT_EQ(ToHex(Saved(collection)),
              Hex(std::string(kEmptyHeader) +
                  "03 01000000  03 01000000 01 11"
                  "  09 10000000 21A3053F B743 7845 93C8CDC5F64A149A"
                  "  09 12000000 06 01000000 06 01000000 07 03000000 686900"));
    EXPECT_EQ(collection.GetValueSize(1), 18u);
}

TEST(KeyValueCollection, SizeCachingSavesAVersionTwoHeaderAndRemembersTheSize) {
    auto counting = new qvdtest::CountingObject;
    RefPtr<pxLib::IPersistObject> hold(counting);
    pxTavKeyValueCollection collection;
    EXPECT_TRUE(collection.SetCacheSize(true));
    ASSERT_TRUE(collection.SetObject(3, counting));

    const std::vector<uint8_t> bytes = Saved(collection);
    const std::string header = "06 02000000 0A 01 0A 00 0A 01 04 0000000000000000";
    EXPECT_EQ(ToHex(bytes).substr(0, Hex(header).size()), Hex(header));
    EXPECT_EQ(collection.GetCachedSize(), bytes.size());
    EXPECT_FALSE(collection.IsDirty());

    const int queries = counting->sizeQueries;
    uint64_t size = 0;
    ASSERT_TRUE(collection.GetSizeMax(size));
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(counting->sizeQueries, queries);  // not measured again

    ASSERT_TRUE(collection.SetUInt8(4, 1));  // a change forgets the size
    EXPECT_EQ(collection.GetCachedSize(), 0u);
    ASSERT_TRUE(collection.GetSizeMax(size));
    EXPECT_EQ(size, bytes.size() + 9);
    EXPECT_GT(counting->sizeQueries, queries);
    EXPECT_EQ(collection.GetCachedSize(), size);  // remembered again

    // A second save writes the remembered size into the header; a load forgets it.
    const std::vector<uint8_t> again = Saved(collection);
    uint64_t stored;
    std::memcpy(&stored, again.data() + 12, 8);
    EXPECT_EQ(stored, again.size());
    pxTavKeyValueCollection loaded;
    pxLib::RefPtr<pxLib::IProcessObjectFactory> factory;
    ASSERT_EQ(pxLib::GetProcessObjectFactory(factory), pxLib::OBJ_OK);
    ASSERT_EQ(factory->Register(qvdtest::CLSID_CountingObject,
                                [](const pxLib::Guid& iid, void** out) {
                                    auto* object = new qvdtest::CountingObject;
                                    RefPtr<pxLib::IPersistObject> keep(object);
                                    return object->QueryInterface(iid, out);
                                }),
              pxLib::OBJ_OK);
    ASSERT_TRUE(LoadFrom(loaded, again));
    EXPECT_TRUE(loaded.GetCacheSize());
    EXPECT_EQ(loaded.GetCachedSize(), 0u);
    EXPECT_EQ(factory->Unregister(qvdtest::CLSID_CountingObject), pxLib::OBJ_OK);
}

TEST(KeyValueCollection, DirtyFollowsChangesSavesAndLoads) {
    pxTavKeyValueCollection collection;
    EXPECT_FALSE(collection.IsDirty());
    EXPECT_TRUE(collection.SetInt32(1, 1));
    EXPECT_TRUE(collection.IsDirty());
    const std::vector<uint8_t> bytes = Saved(collection);
    EXPECT_FALSE(collection.IsDirty());
    EXPECT_TRUE(collection.Remove(1));
    EXPECT_TRUE(collection.IsDirty());
    EXPECT_FALSE(collection.Remove(1));
    ASSERT_TRUE(LoadFrom(collection, bytes));
    EXPECT_FALSE(collection.IsDirty());
    collection.SetOptionA(false);
    EXPECT_TRUE(collection.IsDirty());
    EXPECT_TRUE(collection.SetDirty(false));
    EXPECT_FALSE(collection.IsDirty());
}

TEST(KeyValueCollection, ValueKindsSizesAndStringsAsTheRestOfTheSystemAsksForThem) {
    pxTavKeyValueCollection collection;
    EXPECT_TRUE(collection.SetAnsiString(20041, "C:\\x"));
    EXPECT_TRUE(collection.SetString(1002, u"abc"));
    EXPECT_TRUE(collection.SetUInt32(1001, 5));
    EXPECT_TRUE(collection.SetVariant(4, Variant::I4(1)));
    EXPECT_EQ(collection.GetValueKind(20041), pxLib::ValueKind::String);
    EXPECT_EQ(collection.GetValueSize(20041), 5u);
    EXPECT_EQ(collection.GetValueSize(1002), 8u);
    EXPECT_EQ(collection.GetValueSize(1001), 4u);
    EXPECT_EQ(collection.GetValueSize(4), 6u);
    EXPECT_EQ(collection.GetValueKind(999), pxLib::ValueKind::Empty);
    EXPECT_EQ(collection.GetValueSize(999), 0u);

    std::u16string text;
    ASSERT_TRUE(collection.GetString(20041, text));  // single-byte text widened
    EXPECT_EQ(text, u"C:\\x");
    uint32_t number;
    EXPECT_FALSE(collection.GetUInt32(1002, number));  // not of that kind
    int32_t signedNumber;
    EXPECT_FALSE(collection.GetInt32(1001, signedNumber));
    ASSERT_TRUE(collection.GetUInt32(1001, number));
    EXPECT_EQ(number, 5u);

    ASSERT_TRUE(collection.SetString(1002, std::u16string(u"a\0b", 3)));
    ASSERT_TRUE(collection.GetString(1002, text));
    EXPECT_EQ(text, u"a");  // text ends at its NUL, as it would once saved
    collection.Clear();
    EXPECT_EQ(collection.GetCount(), 0u);
}

TEST(KeyValueCollection, CopiesShareObjectsUnlessTheyAreToBeCloned) {
    auto counting = new qvdtest::CountingObject;
    RefPtr<pxLib::IPersistObject> hold(counting);
    counting->value = 3;
    pxTavKeyValueCollection source;
    EXPECT_TRUE(source.SetObject(1, counting));
    EXPECT_TRUE(source.SetString(2, u"s"));
    source.SetOptionA(false);

    RefPtr<pxLib::IRefObject> object;
    pxTavKeyValueCollection shared;
    ASSERT_TRUE(shared.CopyFrom(source));
    ASSERT_TRUE(shared.GetObject(1, object));
    EXPECT_EQ(object.get(), static_cast<pxLib::IRefObject*>(hold.get()));
    EXPECT_FALSE(shared.GetOptionA());

    source.SetCloneObjects(true);
    RefPtr<pxLib::IRefObject> cloneObject;
    ASSERT_TRUE(source.Clone(cloneObject));
    RefPtr<pxTavKeyValueCollection> clone;
    ASSERT_EQ(pxLib::QueryInto(cloneObject.get(), pxLib::CLSID_pxTavKeyValueCollection, clone),
              pxLib::OBJ_OK);
    ASSERT_TRUE(clone->GetObject(1, object));
    EXPECT_NE(object.get(), static_cast<pxLib::IRefObject*>(hold.get()));
    RefPtr<qvdtest::CountingObject> copy;
    ASSERT_EQ(pxLib::QueryInto(object.get(), qvdtest::CLSID_CountingObject, copy), pxLib::OBJ_OK);
    EXPECT_EQ(copy->value, 3u);

    EXPECT_TRUE(source.SetObject(3, new qvdtest::PlainObject));  // no clone interface
    pxTavKeyValueCollection failed;
    EXPECT_FALSE(failed.CopyFrom(source));
}

TEST(KeyValueCollection, SavesThatCannotBeMadeFail) {
    {
        pxTavKeyValueCollection collection;
        EXPECT_TRUE(collection.SetObject(1, new qvdtest::PlainObject));  // cannot persist
        auto stream = pxLib::MemoryStream::Create();
        EXPECT_FALSE(collection.Save(stream.get()));
        EXPECT_TRUE(collection.IsDirty());
        uint64_t size;
        EXPECT_FALSE(collection.GetSizeMax(size));
    }
    {
        pxTavKeyValueCollection collection;
        EXPECT_TRUE(
            collection.SetUInt8(0x100000000ull, 1));  // keys of 2^32 and above stay in memory
        auto stream = pxLib::MemoryStream::Create();
        EXPECT_FALSE(collection.Save(stream.get()));
        EXPECT_TRUE(stream->Data().empty());
    }
    {
        pxTavKeyValueCollection collection;
        EXPECT_TRUE(collection.SetVariant(1, Variant::ByteArray({})));
        auto stream = pxLib::MemoryStream::Create();
        EXPECT_FALSE(collection.Save(stream.get()));
    }
    {
        // A collection inside itself would nest without end.
        auto collection = pxTavKeyValueCollection::Create();
        EXPECT_TRUE(
            collection->SetObject(1, static_cast<pxLib::IPersistObject*>(collection.get())));
        auto stream = pxLib::MemoryStream::Create();
        EXPECT_FALSE(collection->Save(stream.get()));
        EXPECT_TRUE(collection->Remove(1));  // breaks the cycle of references
    }
}

// Every case is loaded into a collection that already holds a value.
TEST(KeyValueCollection, RefusedLoadsLeaveTheCollectionEmpty) {
    const std::string entry = "03 01000000 03 07000000 ";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"header version 3", "06 03000000 0A 01 0A 00 06 01000000 03 00000000"},
        {"body version 2", "06 01000000 0A 01 0A 00 06 02000000 03 00000000"},
        {"header tag 3 instead of 6", "03 01000000 0A 01 0A 00 06 01000000 03 00000000"},
        {"kind 1 under tag 12", std::string(kEmptyHeader) + entry + "01 01 0C 01"},
        {"kind 7 under tag 6", std::string(kEmptyHeader) + entry + "01 07 06 01000000"},
        {"kind 18", std::string(kEmptyHeader) + entry + "01 12 0A 01"},
        {"kind byte under tag 10", std::string(kEmptyHeader) + entry + "0A 00"},
        {"fewer entries than counted", std::string(kEmptyHeader) + "03 02000000 03 07000000 01 00"},
        {"class id of 15 bytes",
         std::string(kEmptyHeader) + entry + "01 11 09 0F000000 000000000000000000000000000000"},
        {"class id that nothing provides",
         std::string(kEmptyHeader) + entry +
             "01 11 09 10000000 FFFFFFFF FFFF FFFF FFFFFFFFFFFFFFFF 09 00000000"},
        {"nested collection region cut short",
         std::string(kEmptyHeader) + entry +
             "01 11 09 10000000 91D85899 19C3 6C4C BEB9F9BFB37EA493 09 05000000 06 01000000"},
        {"nested collection of header version 3",
         std::string(kEmptyHeader) + entry +
             "01 11 09 10000000 91D85899 19C3 6C4C BEB9F9BFB37EA493 09 13000000"
             " 06 03000000 0A 01 0A 00 06 01000000 03 00000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pxTavKeyValueCollection collection;
        EXPECT_TRUE(collection.SetCacheSize(true));
        EXPECT_TRUE(collection.SetInt32(99, 1));
        uint64_t size;
        ASSERT_TRUE(collection.GetSizeMax(size));
        EXPECT_FALSE(LoadFrom(collection, qvdtest::FromHex(c.bytes)));
        EXPECT_EQ(collection.GetCount(), 0u);
        EXPECT_EQ(collection.GetCachedSize(), 0u);
    }
}

TEST(KeyValueCollection, LoadsThatTheFormatAllows) {
    // A header version of 0 reads like version 1; a repeated key keeps the last value.
    pxTavKeyValueCollection collection;
    ASSERT_TRUE(LoadFrom(collection, qvdtest::FromHex("06 00000000 0A 00 0A 01 06 01000000"
                                                      " 03 02000000"
                                                      " 03 05000000 01 03 01 07"
                                                      " 03 05000000 01 03 01 09")));
    EXPECT_FALSE(collection.GetOptionA());
    EXPECT_TRUE(collection.GetCloneObjects());
    uint8_t value;
    ASSERT_TRUE(collection.GetUInt8(5, value));
    EXPECT_EQ(value, 9);
    EXPECT_EQ(collection.GetCount(), 1u);
}

TEST(KeyValueCollection, LoadingReadsOnlyItsOwnBytesAndLeavesTheStreamBehindThem) {
    pxTavKeyValueCollection first;
    EXPECT_TRUE(first.SetString(1, u"one"));
    pxTavKeyValueCollection second;
    EXPECT_TRUE(second.SetUInt16(2, 2));
    auto stream = pxLib::MemoryStream::Create();
    ASSERT_TRUE(first.Save(stream.get()));
    ASSERT_TRUE(second.Save(stream.get()));

    ASSERT_TRUE(stream->SetPosition(0));
    pxTavKeyValueCollection a;
    pxTavKeyValueCollection b;
    ASSERT_TRUE(a.Load(stream.get()));
    ASSERT_TRUE(b.Load(stream.get()));
    uint16_t value;
    ASSERT_TRUE(b.GetUInt16(2, value));
    EXPECT_EQ(value, 2);
    uint64_t position;
    ASSERT_TRUE(stream->GetPosition(position));
    EXPECT_EQ(position, stream->Data().size());
}

}  // namespace
