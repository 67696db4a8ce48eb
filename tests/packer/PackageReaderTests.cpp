// The package reader over real files: where it looks for the package, the
// current and legacy forms, the end markers, and lookups by id and type.
#include "PackerTestSupport.h"
#include "collections/HexBytes.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using packertest::Bytes;
using ZOLT::CFilePackerEx;
using ZOLT::HResult;

constexpr pxLib::Guid kOtherType = {
    0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

const uint32_t kEnd = packertest::EndOfRawData();

ZOLT::PackageArchive Layout() {
    return {u"FDELayoutData", ZOLT::kLayoutArchiveType, Bytes{'l', 'a', 'y', 'o', 'u', 't'}};
}
ZOLT::PackageArchive Other() {
    return {u"Other", kOtherType, Bytes(300, 0x5A)};
}

// Bytes of the records of a current-form header.
uint64_t HeaderSize(const std::vector<ZOLT::PackageArchive>& archives) {
    uint64_t size = 12;
    for (const auto& a : archives) size += 4 + 2 * a.id.size() + 4 + 16;
    return size;
}

struct Record {
    std::u16string id;
    pxLib::Guid type;
    Bytes bytes;
    uint64_t offset;
};

// The records of a current-form package placed at start.
std::vector<Record> Placed(const std::vector<ZOLT::PackageArchive>& archives, uint64_t start) {
    std::vector<Record> records;
    uint64_t next = start + HeaderSize(archives);
    for (const auto& a : archives) {
        records.push_back({a.id, a.type, a.bytes, next});
        next += a.bytes.size() + 4;
    }
    return records;
}

Bytes Unsigned(const Bytes& package) {
    Bytes file = packertest::BuildImage();
    packertest::AppendU32(file, 0);
    file.insert(file.end(), package.begin(), package.end());
    return file;
}

Bytes Signed(uint32_t entryLength, const Bytes& package) {
    Bytes file = packertest::BuildImage();
    packertest::AppendCertificateEntry(file, entryLength);
    file.resize(kEnd + entryLength);  // directly behind the entry, padding or not
    file.insert(file.end(), package.begin(), package.end());
    packertest::CoverTailWithDirectory(file);
    return file;
}

Bytes CurrentPackage() {
    return packertest::PackageOf({Layout(), Other()});
}

struct Case {
    const char* label;
    std::function<Bytes()> make;
    ZOLT::HRESULT open;
    bool hasPackage;
    uint64_t packageOffset;
    std::vector<Record> records;
};

class PackageReader : public ::testing::Test {
protected:
    std::u16string Place(const Bytes& bytes) {
        const std::u16string path = m_dir.file(u"file" + std::u16string(1, u'a' + m_count++));
        EXPECT_TRUE(packertest::WriteBytes(path, bytes));
        return path;
    }
    packertest::ScratchDir m_dir;
    int m_count = 0;
};

TEST_F(PackageReader, FindsThePackageWhereItBelongs) {
    const std::vector<ZOLT::PackageArchive> both = {Layout(), Other()};
    const uint64_t legacyData = 20 + 10 * (1 + 4 + 4 + 1 + 8 + 1 + 4);
    const Case cases[] = {
        {"signed without package", [] { return Signed(0x100, {}); }, 0, false, kEnd + 0x100, {}},
        {"file ends at endOfRawData", [] { return packertest::BuildImage(); }, 0, false, kEnd, {}},
        {"three bytes behind the image",
         [] {
             Bytes b = packertest::BuildImage();
             b.insert(b.end(), {0, 0, 0});
             return b;
         },
         0,
         false,
         kEnd,
         {}},
        {"unsigned, four zero bytes and a package", [] { return Unsigned(CurrentPackage()); }, 0,
         true, kEnd + 4, Placed(both, kEnd + 4)},
        {"signed, package behind the first entry", [] { return Signed(0x100, CurrentPackage()); },
         0, true, kEnd + 0x100, Placed(both, kEnd + 0x100)},
        {"signed, entry length not a multiple of 8", [] { return Signed(0x103, CurrentPackage()); },
         0, true, kEnd + 0x103, Placed(both, kEnd + 0x103)},
        {"entry length pointing beyond the file",
         [] {
             Bytes b = packertest::BuildImage();
             packertest::AppendU32(b, 0x7FFFFFF0);
             return b;
         },
         0,
         false,
         uint64_t{kEnd} + 0x7FFFFFF0,
         {}},
        {"empty package",
         [] { return Unsigned(packertest::PackageOf({})); },
         0,
         true,
         kEnd + 4,
         {}},
        {"legacy package, types 0 to 9",
         [] {
             std::vector<packertest::LegacyRecord> records;
             for (uint32_t t = 0; t < 10; ++t)
                 records.push_back({std::u16string(1, u'0' + t), Bytes(t + 1, 0xAA), t});
             return Unsigned(packertest::LegacyPackage(4, records));
         },
         0, true, kEnd + 4,
         [&] {
             std::vector<Record> records;
             uint64_t next = kEnd + 4 + legacyData;
             for (uint32_t t = 0; t < 10; ++t) {
                 pxLib::Guid type{};
                 EXPECT_TRUE(ZOLT::LegacyArchiveType(t, type));
                 records.push_back({std::u16string(1, u'0' + t), type, Bytes(t + 1, 0xAA), next});
                 next += t + 1;
             }
             return records;
         }()},
        {"not an executable", [] { return Bytes(4096, 'x'); }, HResult(0x800700C1), false, 0, {}},
        {"last section's end wrapping past 4 GiB into the headers",
         [] {
             // 0xFFFFFF00 + 0x200 is 0x100 in 32 bits: a package planted there
             // would be read from the headers.
             Bytes b = packertest::BuildImage();
             const size_t last = 0x80 + 24 + 240 + 40;
             packertest::PutU32(b, last + 20, 0xFFFFFF00u);
             packertest::PutU32(b, 0x100, 0);
             const Bytes planted = packertest::PackageOf({});
             std::copy(planted.begin(), planted.end(), b.begin() + 0x104);
             return b;
         },
         HResult(0x800700C1),
         false,
         0,
         {}},
        {"last section without raw data",
         [] {
             Bytes b = packertest::BuildImage();
             const size_t last = 0x80 + 24 + 240 + 40;
             packertest::PutU32(b, last + 16, 0);
             packertest::PutU32(b, last + 20, 0);
             return b;
         },
         HResult(0x800700C1),
         false,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CFilePackerEx packer;
        ASSERT_EQ(packer.Open(Place(c.make())), c.open);
        if (c.open != 0) continue;
        EXPECT_EQ(packer.HasPackage(), c.hasPackage);
        EXPECT_EQ(packer.GetPackageOffset(), c.packageOffset);
        const auto& archives = packer.GetPackageHeader()->GetArchives();
        ASSERT_EQ(archives.size(), c.records.size());
        for (size_t i = 0; i < archives.size(); ++i) {
            const Record& r = c.records[i];
            EXPECT_EQ(archives[i].GetId(), r.id);
            EXPECT_EQ(archives[i].GetType(), r.type);
            EXPECT_EQ(archives[i].GetSize(), r.bytes.size());
            EXPECT_EQ(archives[i].GetOffset(), r.offset);
            EXPECT_TRUE(packer.HasArchive(r.id, r.type));
            pxLib::RefPtr<pxLib::IByteStream> stream;
            ASSERT_EQ(packer.ExtractStream(r.id, r.type, stream), 0);
            uint64_t position = 0;
            ASSERT_TRUE(stream->GetPosition(position));
            EXPECT_EQ(position, r.offset);
            Bytes content(r.bytes.size());
            ASSERT_TRUE(stream->Read(content.data(), static_cast<uint32_t>(content.size())));
            EXPECT_EQ(content, r.bytes);
        }
        if (c.records.empty()) {
            pxLib::RefPtr<pxLib::IByteStream> stream;
            EXPECT_FALSE(packer.HasArchive(u"FDELayoutData", ZOLT::kLayoutArchiveType));
            EXPECT_EQ(packer.ExtractStream(u"FDELayoutData", ZOLT::kLayoutArchiveType, stream),
                      HResult(0x80070490));
        }
    }
}

TEST_F(PackageReader, RefusesBrokenPackages) {
    const Bytes good = CurrentPackage();
    const size_t firstMarker = HeaderSize({Layout(), Other()}) + Layout().bytes.size();
    struct Refusal {
        const char* label;
        std::function<Bytes()> make;
        ZOLT::HRESULT open;
    };
    const Refusal cases[] = {
        {"end marker not ED 0B DA BE",
         [&] {
             Bytes p = good;
             p[firstMarker] = 0xEE;
             return Unsigned(p);
         },
         HResult(0x8007000B)},
        {"last end marker missing", [&] { return Unsigned(Bytes(good.begin(), good.end() - 4)); },
         HResult(0x80070026)},
        {"version 6",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 4, 6);
             return Unsigned(p);
         },
         HResult(0x80070309)},
        {"four zero bytes, then no magic",
         [] {
             return Unsigned(Bytes{'n', 'o', 'p', 'e', 1, 2, 3, 4});
         },
         HResult(0x8007000B)},
        {"more records than written",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 8, 3);
             return Unsigned(p);
         },
         HResult(0x80070026)},
        {"id length beyond the bytes left",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 12, 0x7FFFFFFF);
             return Unsigned(p);
         },
         HResult(0x80070026)},
        {"id length beyond a signed 32-bit count",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 12, 0x80000000u);
             return Unsigned(p);
         },
         HResult(0x8007000B)},
        {"archive size beyond the file",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 12 + 4 + 26, 0xFFFFFF00u);
             return Unsigned(p);
         },
         HResult(0x80070026)},
        {"count far beyond the file",
         [&] {
             Bytes p = good;
             packertest::PutU32(p, 8, 0xFFFFFFFFu);
             return Unsigned(p);
         },
         HResult(0x80070026)},
        {"legacy type 10",
         [] {
             return Unsigned(packertest::LegacyPackage(0, {{u"ten", Bytes(4, 1), 10}}));
         },
         HResult(0x8007000B)},
        {"legacy id of the wrong tag",
         [] {
             Bytes p = packertest::LegacyPackage(2, {{u"x", Bytes(4, 1), 1}});
             p[20] = 7;
             return Unsigned(p);
         },
         HResult(0x8007000B)},
        {"legacy size of the wrong tag",
         [] {
             Bytes p = packertest::LegacyPackage(2, {{u"x", Bytes(4, 1), 1}});
             p[20 + 1 + 4 + 4] = 3;
             return Unsigned(p);
         },
         HResult(0x8007000B)},
        {"legacy type of the wrong tag",
         [] {
             Bytes p = packertest::LegacyPackage(2, {{u"x", Bytes(4, 1), 1}});
             p[20 + 1 + 4 + 4 + 1 + 8] = 4;
             return Unsigned(p);
         },
         HResult(0x8007000B)},
        {"legacy id length beyond the bytes left",
         [] {
             Bytes p = packertest::LegacyPackage(2, {{u"x", Bytes(4, 1), 1}});
             packertest::PutU32(p, 21, 0x7FFFFFF0);
             return Unsigned(p);
         },
         HResult(0x80070026)},
        {"legacy record cut off",
         [] {
             Bytes p = packertest::LegacyPackage(3, {{u"x", {}, 1}});
             p.resize(p.size() - 2);
             return Unsigned(p);
         },
         HResult(0x80070026)},
    };
    for (const Refusal& c : cases) {
        CFilePackerEx packer;
        EXPECT_EQ(packer.Open(Place(c.make())), c.open) << c.label;
    }
}

TEST_F(PackageReader, TheFirstOfTwoEqualRecordsIsFound) {
    const ZOLT::PackageArchive first{u"FDELayoutData", ZOLT::kLayoutArchiveType, Bytes{1, 1}};
    const ZOLT::PackageArchive second{u"FDELayoutData", ZOLT::kLayoutArchiveType, Bytes{2, 2, 2}};
    CFilePackerEx packer;
    ASSERT_EQ(packer.Open(Place(Unsigned(packertest::PackageOf({first, second})))), 0);
    pxLib::RefPtr<pxLib::IByteStream> stream;
    ASSERT_EQ(packer.ExtractStream(u"FDELayoutData", ZOLT::kLayoutArchiveType, stream), 0);
    uint64_t position = 0;
    ASSERT_TRUE(stream->GetPosition(position));
    EXPECT_EQ(position, packer.GetPackageHeader()->GetArchives()[0].GetOffset());
    EXPECT_NE(position, packer.GetPackageHeader()->GetArchives()[1].GetOffset());
}

TEST_F(PackageReader, IdsCompareWithCaseAndTypesExactly) {
    CFilePackerEx packer;
    ASSERT_EQ(packer.Open(Place(Unsigned(CurrentPackage()))), 0);
    pxLib::RefPtr<pxLib::IByteStream> stream;
    EXPECT_TRUE(packer.HasArchive(u"FDELayoutData", ZOLT::kLayoutArchiveType));
    EXPECT_FALSE(packer.HasArchive(u"fdelayoutdata", ZOLT::kLayoutArchiveType));
    EXPECT_EQ(packer.ExtractStream(u"fdelayoutdata", ZOLT::kLayoutArchiveType, stream),
              HResult(0x80070490));
    EXPECT_FALSE(packer.HasArchive(u"FDELayoutData", kOtherType));
    EXPECT_FALSE(packer.HasArchive(u"FDELayoutDat", ZOLT::kLayoutArchiveType));
}

TEST_F(PackageReader, OpenChecksItsPath) {
    CFilePackerEx packer;
    EXPECT_EQ(packer.Open(std::u16string()), HResult(0x80070057));
    EXPECT_EQ(packer.Open(m_dir.file(u"missing.exe")), HResult(0x80070002));
    // A folder is no file; there is no system error to report.
    EXPECT_EQ(packer.Open(m_dir.path()), ZOLT::kHrUnexpected);
}

TEST_F(PackageReader, OpeningAgainForgetsTheFormerFile) {
    CFilePackerEx packer;
    ASSERT_EQ(packer.Open(Place(Unsigned(CurrentPackage()))), 0);
    ASSERT_TRUE(packer.HasPackage());
    ASSERT_EQ(packer.Open(Place(packertest::BuildImage())), 0);
    EXPECT_FALSE(packer.HasPackage());
    EXPECT_EQ(packer.GetPackageOffset(), kEnd);
    EXPECT_FALSE(packer.HasArchive(u"FDELayoutData", ZOLT::kLayoutArchiveType));
}

TEST_F(PackageReader, NothingIsFoundBeforeOpen) {
    CFilePackerEx packer;
    pxLib::RefPtr<pxLib::IByteStream> stream;
    EXPECT_FALSE(packer.HasArchive(u"FDELayoutData", ZOLT::kLayoutArchiveType));
    EXPECT_EQ(packer.ExtractStream(u"FDELayoutData", ZOLT::kLayoutArchiveType, stream),
              HResult(0x8007139F));
    EXPECT_FALSE(stream);
}

// One current-form package written out from the format: header, one record,
// the archive's bytes and its end marker.
const char kOneRecordPackage[] =
    "70635042 05000000 01000000"  // "pcPB", version 5, one record
    "0D000000"                    // id length in code units
    "4600 4400 4500 4C00 6100 7900 6F00 7500 7400 4400 6100 7400 6100"  // "FDELayoutData"
    "03000000"                                                          // archive size
    "B0641EDA 81A1 5247 B319 D625E05A9878"  // {DA1E64B0-A181-4752-B319-D625E05A9878}
    "AABBCC ED0BDABE";
constexpr size_t kOneRecordListSize = 12 + 4 + 26 + 4 + 16;
const Bytes kArchiveBytes = {0xAA, 0xBB, 0xCC};

TEST(PackageGoldenBytes, ARecordWrittenByHandReadsFieldForField) {
    auto stream = pxLib::MemoryStream::Create(qvdtest::FromHex(kOneRecordPackage));
    CFilePackerEx::CPackageHeader header;
    ASSERT_EQ(header.Deserialize(stream.get()), 0);
    EXPECT_EQ(header.GetVersion(), 5u);
    ASSERT_EQ(header.GetArchives().size(), 1u);
    const CFilePackerEx::CArchiveInfo& record = header.GetArchives()[0];
    EXPECT_EQ(record.GetId(), u"FDELayoutData");
    EXPECT_EQ(record.GetSize(), kArchiveBytes.size());
    EXPECT_EQ(record.GetType(), ZOLT::kLayoutArchiveType);
    EXPECT_EQ(record.GetOffset(), kOneRecordListSize);
}

TEST(PackageGoldenBytes, TheWriterWritesTheSameRecord) {
    CFilePackerEx::CPackageHeader header;
    header.Archives().emplace_back(u"FDELayoutData", static_cast<uint32_t>(kArchiveBytes.size()),
                                   ZOLT::kLayoutArchiveType);
    auto stream = pxLib::MemoryStream::Create();
    ASSERT_TRUE(header.Serialize(stream.get()));
    const std::string golden = qvdtest::Hex(kOneRecordPackage);
    EXPECT_EQ(qvdtest::ToHex(stream->Data()), golden.substr(0, 2 * kOneRecordListSize));

    Bytes whole;
    ASSERT_EQ(
        ZOLT::PackageBytes({{u"FDELayoutData", ZOLT::kLayoutArchiveType, kArchiveBytes}}, whole),
        0);
    EXPECT_EQ(qvdtest::ToHex(whole), golden);
}

// The record list is bounded before it is read: by what the rest of the file
// can hold (a current record with its end marker takes at least 28 bytes, a
// legacy record 19) and by a ceiling far above any real package. A count
// beyond either is refused before the first record is read, whatever the file.
TEST(PackageRecordCount, IsBoundedByTheFileAndByACeiling) {
    const uint32_t ceiling = ZOLT::kMaxArchiveCount;
    auto current = [](uint32_t count) {
        return packertest::PackageOf(
            std::vector<ZOLT::PackageArchive>(count, {u"a", kOtherType, {}}));
    };
    auto legacy = [](uint32_t count) {
        return packertest::LegacyPackage(
            4, std::vector<packertest::LegacyRecord>(count, {u"a", {}, 1}));
    };
    struct CountCase {
        const char* label;
        std::function<Bytes()> make;
        bool legacy;
        ZOLT::HRESULT open;
        size_t archives;
    };
    const CountCase cases[] = {
        {"as many current records as the ceiling", [&] { return current(ceiling); }, false, 0,
         ceiling},
        {"one current record more than the ceiling", [&] { return current(ceiling + 1); }, false,
         HResult(0x8007000B), 0},
        {"a count of 2^32 - 1 over a thousand records",
         [&] {
             Bytes p = current(1000);
             packertest::PutU32(p, 8, 0xFFFFFFFFu);
             return p;
         },
         false, HResult(0x80070026), 0},
        {"a count one above what the rest of the file holds",
         [&] {
             Bytes p = current(100);
             const uint32_t fits = static_cast<uint32_t>((p.size() - 12) / 28);
             packertest::PutU32(p, 8, fits + 1);
             return p;
         },
         false, HResult(0x80070026), 0},
        {"as many legacy records as the ceiling", [&] { return legacy(ceiling); }, true, 0,
         ceiling},
        {"one legacy record more than the ceiling", [&] { return legacy(ceiling + 1); }, true,
         HResult(0x8007000B), 0},
        {"a legacy count of 2^32 + 1 over one record",
         [&] {
             Bytes p = legacy(1);
             const uint64_t count = (uint64_t{1} << 32) + 1;
             for (int i = 0; i < 8; ++i) p[8 + i] = static_cast<uint8_t>(count >> (8 * i));
             return p;
         },
         true, HResult(0x80070026), 0},
    };
    // A refused count costs less than opening a package of one record.
    auto costOfOne = [](const Bytes& package) {
        auto stream = packertest::CountingStream::Over(Unsigned(package));
        CFilePackerEx packer;
        EXPECT_EQ(packer.OpenStream(stream.get()), 0);
        return stream->calls;
    };
    const int currentCostOfOne = costOfOne(current(1));
    const int legacyCostOfOne = costOfOne(legacy(1));

    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.label);
        auto stream = packertest::CountingStream::Over(Unsigned(c.make()));
        CFilePackerEx packer;
        const ZOLT::HRESULT hr = packer.OpenStream(stream.get());
        EXPECT_EQ(hr, c.open);
        if (hr != c.open) continue;
        if (c.open == 0)
            EXPECT_EQ(packer.GetPackageHeader()->GetArchives().size(), c.archives);
        else
            EXPECT_LT(stream->calls, c.legacy ? legacyCostOfOne : currentCostOfOne);
    }
}

TEST(PackageWriter, RecordsReadBackFieldForField) {
    CFilePackerEx::CPackageHeader header;
    header.Archives().emplace_back(u"FDELayoutData", 77, ZOLT::kLayoutArchiveType);
    header.Archives().emplace_back(u"\u00e9\u4e2d", 0, kOtherType);
    auto stream = pxLib::MemoryStream::Create();
    ASSERT_TRUE(header.Serialize(stream.get()));
    // Header, two records, and each archive with its end marker.
    Bytes bytes = stream->Data();
    EXPECT_EQ(bytes.size(), HeaderSize({{u"FDELayoutData", {}, {}}, {u"xx", {}, {}}}));
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{'p', 'c', 'P', 'B', 5, 0, 0, 0}));
    bytes.insert(bytes.end(), 77, 0);
    packertest::AppendU32(bytes, ZOLT::kArchiveEndMarker);
    packertest::AppendU32(bytes, ZOLT::kArchiveEndMarker);

    auto back = pxLib::MemoryStream::Create(bytes);
    CFilePackerEx::CPackageHeader read;
    ASSERT_EQ(read.Deserialize(back.get()), 0);
    ASSERT_EQ(read.GetArchives().size(), 2u);
    EXPECT_EQ(read.GetVersion(), 5u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.GetArchives()[i].GetId(), header.GetArchives()[i].GetId());
        EXPECT_EQ(read.GetArchives()[i].GetSize(), header.GetArchives()[i].GetSize());
        EXPECT_EQ(read.GetArchives()[i].GetType(), header.GetArchives()[i].GetType());
    }
}

TEST(PackageWriter, AnEmptyIdIsRefused) {
    auto stream = pxLib::MemoryStream::Create();
    const CFilePackerEx::CArchiveInfo empty(u"", 1, kOtherType);
    EXPECT_EQ(empty.Serialize(stream.get()), HResult(0x80070057));
    CFilePackerEx::CPackageHeader header;
    header.Archives().push_back(empty);
    EXPECT_FALSE(header.Serialize(stream.get()));
    Bytes bytes;
    EXPECT_EQ(ZOLT::PackageBytes({{u"", kOtherType, {1}}}, bytes), HResult(0x80070057));
}

TEST(PackageReaderOverMemory, NoMagicAtTheEndIsNoPackage) {
    auto stream = pxLib::MemoryStream::Create(Bytes{'p', 'c'});
    CFilePackerEx::CPackageHeader header;
    EXPECT_EQ(header.Deserialize(stream.get()), 1);
}

}  // namespace
