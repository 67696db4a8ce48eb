// Golden bytes of every value kind: the element each kind is saved as, written
// out here from the format rather than produced by our writer, so that two
// kinds of the same width with their tags swapped cannot pass as a round trip.
#include "collections/HexBytes.h"

#include "collections/archive/MemoryStream.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/values/MemoryImpl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

namespace {

using pxLib::pxTavKeyValueCollection;
using pxLib::Variant;
using qvdtest::Hex;
using qvdtest::ToHex;

// Version 1, optionA set, cloneObjects clear, body version 1, one entry.
const char kOneEntryHeader[] = "06 01000000 0A 01 0A 00 06 01000000 03 01000000";

constexpr pxLib::Guid kGuid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
const std::vector<uint8_t> kMemoryBytes = {0xAB, 0xCD};

pxLib::Record16 Record() {
    pxLib::Record16 record;
    for (int i = 0; i < 16; ++i) record.bytes[i] = static_cast<uint8_t>(0xF0 - i);
    return record;
}

struct KindCase {
    pxLib::ValueKind kind;
    std::function<bool(pxTavKeyValueCollection&, uint64_t)> set;
    // The kind element and the payload element.
    const char* valueHex;
    std::function<bool(const pxTavKeyValueCollection&, uint64_t)> holds;
};

template <class Owner, class T>
std::function<bool(const pxTavKeyValueCollection&, uint64_t)> Holds(bool (Owner::*get)(uint64_t, T&)
                                                                        const,
                                                                    T expected) {
    return [get, expected](const pxTavKeyValueCollection& c, uint64_t key) {
        T value{};
        return (c.*get)(key, value) && value == expected;
    };
}

const std::vector<KindCase>& Cases() {
    using C = pxTavKeyValueCollection;
    static const std::vector<KindCase> cases = {
        {pxLib::ValueKind::Empty, [](C& c, uint64_t k) { return c.SetEmpty(k); }, "01 00",
         [](const C&, uint64_t) { return true; }},
        {pxLib::ValueKind::Bool, [](C& c, uint64_t k) { return c.SetBool(k, true); },
         "01 01  0A 01", Holds(&C::GetBool, true)},
        {pxLib::ValueKind::Int8, [](C& c, uint64_t k) { return c.SetInt8(k, -1); }, "01 02  0C FF",
         Holds(&C::GetInt8, int8_t{-1})},
        {pxLib::ValueKind::UInt8, [](C& c, uint64_t k) { return c.SetUInt8(k, 0xC8); },
         "01 03  01 C8", Holds(&C::GetUInt8, uint8_t{0xC8})},
        {pxLib::ValueKind::Int16, [](C& c, uint64_t k) { return c.SetInt16(k, -2); },
         "01 04  0D FEFF", Holds(&C::GetInt16, int16_t{-2})},
        {pxLib::ValueKind::UInt16, [](C& c, uint64_t k) { return c.SetUInt16(k, 0xBEEF); },
         "01 05  02 EFBE", Holds(&C::GetUInt16, uint16_t{0xBEEF})},
        {pxLib::ValueKind::Int32, [](C& c, uint64_t k) { return c.SetInt32(k, -3); },
         "01 06  06 FDFFFFFF", Holds(&C::GetInt32, int32_t{-3})},
        {pxLib::ValueKind::UInt32, [](C& c, uint64_t k) { return c.SetUInt32(k, 0xA0B0C0D0); },
         "01 07  03 D0C0B0A0", Holds(&C::GetUInt32, uint32_t{0xA0B0C0D0})},
        {pxLib::ValueKind::Int64, [](C& c, uint64_t k) { return c.SetInt64(k, -4); },
         "01 08  0E FCFFFFFFFFFFFFFF", Holds(&C::GetInt64, int64_t{-4})},
        {pxLib::ValueKind::UInt64,
         [](C& c, uint64_t k) { return c.SetUInt64(k, 0x0102030405060708); },
         "01 09  04 0807060504030201", Holds(&C::GetUInt64, uint64_t{0x0102030405060708})},
        {pxLib::ValueKind::Double, [](C& c, uint64_t k) { return c.SetDouble(k, 1.0); },
         "01 0A  05 000000000000F03F", Holds(&C::GetDouble, 1.0)},
        {pxLib::ValueKind::Guid, [](C& c, uint64_t k) { return c.SetGuid(k, kGuid); },
         "01 0B  0F 04030201 0605 0807 090A0B0C0D0E0F10", Holds(&C::GetGuid, kGuid)},
        {pxLib::ValueKind::Record16, [](C& c, uint64_t k) { return c.SetRecord16(k, Record()); },
         "01 0C  10 F0EFEEEDECEBEAE9E8E7E6E5E4E3E2E1", Holds(&C::GetRecord16, Record())},
        {pxLib::ValueKind::String, [](C& c, uint64_t k) { return c.SetAnsiString(k, "ab"); },
         "01 0D  07 03000000 616200", Holds(&C::GetAnsiString, std::string("ab"))},
        {pxLib::ValueKind::WString, [](C& c, uint64_t k) { return c.SetString(k, u"x"); },
         "01 0E  08 04000000 7800 0000", Holds(&C::GetString, std::u16string(u"x"))},
        {pxLib::ValueKind::Binary,
         [](C& c, uint64_t k) { return c.SetBinary(k, "\x01\x02\x03", 3); },
         "01 0F  09 03000000 010203", Holds(&C::GetBinary, std::vector<uint8_t>{1, 2, 3})},
        // A VT_I4 body: the variant type, then four bytes.
        {pxLib::ValueKind::Variant,
         [](C& c, uint64_t k) { return c.SetVariant(k, Variant::I4(-5)); },
         "01 10  0B 06000000 0300 FBFFFFFF", Holds(&C::GetVariant, Variant::I4(-5))},
        // The memory object's class id, then its own bytes: version 1 and the block.
        {pxLib::ValueKind::Object,
         [](C& c, uint64_t k) {
             auto memory = pxLib::CMemoryImpl::Create();
             memory->SetBytes(kMemoryBytes);
             return c.SetObject(k, static_cast<pxLib::IPersistObject*>(memory.get()));
         },
         "01 11  09 10000000 64453231 133B 3345 8999 33990688F5A9"
         "  09 0C000000 06 01000000 09 02000000 ABCD",
         [](const C& c, uint64_t k) {
             pxLib::RefPtr<pxLib::IRefObject> object;
             pxLib::RefPtr<pxLib::CMemoryImpl> memory;
             return c.GetObject(k, object) &&
                    pxLib::QueryInto(object.get(), pxLib::CLSID_CMemoryImpl, memory) ==
                        pxLib::OBJ_OK &&
                    memory->GetBytes() == kMemoryBytes;
         }},
    };
    return cases;
}

// The whole saved collection when key holds the case's value.
std::string SavedForm(uint64_t key, const KindCase& c) {
    char keyHex[16];
    std::snprintf(keyHex, sizeof(keyHex), "%02X000000", static_cast<unsigned>(key));
    return Hex(std::string(kOneEntryHeader) + " 03 " + keyHex + " " + c.valueHex);
}

TEST(ValueBytes, EveryKindCoversTheTable) {
    ASSERT_EQ(Cases().size(), pxLib::kValueKindCount);
    for (size_t i = 0; i < Cases().size(); ++i) EXPECT_EQ(pxLib::KindNumber(Cases()[i].kind), i);
}

TEST(ValueBytes, EachKindIsSavedAsItsElement) {
    for (const KindCase& c : Cases()) {
        SCOPED_TRACE(int(pxLib::KindNumber(c.kind)));
        const uint64_t key = pxLib::KindNumber(c.kind);
        pxTavKeyValueCollection collection;
        ASSERT_TRUE(c.set(collection, key));
        auto stream = pxLib::MemoryStream::Create();
        ASSERT_TRUE(collection.Save(stream.get()));
        EXPECT_EQ(ToHex(stream->Data()), SavedForm(key, c));
    }
}

TEST(ValueBytes, EachElementLoadsAsItsKind) {
    for (const KindCase& c : Cases()) {
        SCOPED_TRACE(int(pxLib::KindNumber(c.kind)));
        const uint64_t key = pxLib::KindNumber(c.kind);
        auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex(SavedForm(key, c)));
        pxTavKeyValueCollection collection;
        ASSERT_TRUE(collection.Load(stream.get()));
        ASSERT_EQ(collection.GetCount(), 1u);
        EXPECT_EQ(collection.GetValueKind(key), c.kind);
        EXPECT_TRUE(c.holds(collection, key));
    }
}

}  // namespace
