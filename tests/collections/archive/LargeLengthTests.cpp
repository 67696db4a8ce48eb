// Lengths read from the data are proven against the bytes that follow before
// anything is sized from them: a huge length that points past the data fails
// without a large allocation. This program counts allocations itself.
#include "collections/HexBytes.h"

#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryArchive.h"
#include "collections/archive/MemoryStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_largestAllocation{0};

void* Allocate(size_t size) {
    size_t seen = g_largestAllocation.load();
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using pxLib::CArchive;
using pxLib::CMemoryArchive;

std::string Le32(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof(text), "%02X%02X%02X%02X", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF, value >> 24);
    return text;
}

constexpr size_t kSmall = 1 << 20;

TEST(LargeLengths, AVariantLengthPastTheDataFailsBeforeAllocating) {
    const uint32_t lengths[] = {1000, 524288001u, 0xFFFFFFF0u};
    for (uint32_t length : lengths) {
        SCOPED_TRACE(length);
        const std::string kinds[] = {"0800", "1120"};  // BSTR, UI1 array
        for (const std::string& kind : kinds) {
            // The element claims room for the whole body too.
            const std::string hex = "0B" + Le32(length + 6) + kind + Le32(length) + "414243";
            CMemoryArchive load(CArchive::Mode::Load, qvdtest::FromHex(hex));
            g_largestAllocation = 0;
            pxLib::Variant value;
            EXPECT_FALSE(load.ReadVariant(value));
            EXPECT_LT(g_largestAllocation.load(), kSmall);
            uint64_t position;
            ASSERT_TRUE(load.GetPosition(position));
            EXPECT_EQ(position, 0u);
        }
    }
}

TEST(LargeLengths, StringAndBinaryLengthsPastTheDataFailBeforeAllocating) {
    const char* tags[] = {"07", "08", "09"};
    for (const char* tag : tags) {
        SCOPED_TRACE(tag);
        CMemoryArchive load(CArchive::Mode::Load,
                            qvdtest::FromHex(std::string(tag) + "F0FFFFFF 0000"));
        g_largestAllocation = 0;
        std::string narrow;
        std::u16string wide;
        std::vector<uint8_t> block;
        EXPECT_FALSE(load.ReadString(narrow));
        EXPECT_FALSE(load.ReadWString(wide));
        EXPECT_FALSE(load.ReadBinary(block));
        EXPECT_LT(g_largestAllocation.load(), kSmall);
    }
}

TEST(LargeLengths, ACollectionWithHugeCountsFailsBeforeAllocating) {
    const char* bodies[] = {
        // key-value collection: 4 billion entries announced, one present
        "06 01000000 0A 01 0A 00 06 01000000 03 FFFFFFFF 03 01000000 01 00",
        // a binary value claiming 4 GiB
        "06 01000000 0A 01 0A 00 06 01000000 03 01000000 03 01000000 01 0F 09 FFFFFFFF 00",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex(body));
        pxLib::pxTavKeyValueCollection collection;
        g_largestAllocation = 0;
        EXPECT_FALSE(collection.Load(stream.get()));
        EXPECT_LT(g_largestAllocation.load(), kSmall);
        EXPECT_EQ(collection.GetCount(), 0u);
    }
}

}  // namespace
