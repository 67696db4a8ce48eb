// The PE header walk over byte streams: what it accepts, where it stops, and
// the offsets it reports for PE32 and PE32+ images.
#include "PackerTestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/PEFileHelper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using packertest::Bytes;
using packertest::ImageOptions;

bool Read(const Bytes& bytes, ZOLT::CPEFileHelper& helper) {
    auto stream = pxLib::MemoryStream::Create(bytes);
    return helper.ReadHeaders(stream.get());
}

struct Refusal {
    const char* label;
    std::function<Bytes()> make;
};

TEST(PEFileHelper, RefusesWhatIsNoUsableImage) {
    const ImageOptions plain;
    const Refusal cases[] = {
        {"shorter than a DOS header", [] { return Bytes(63, 'M'); }},
        {"no MZ",
         [] {
             Bytes b = packertest::BuildImage();
             b[0] = 'Z';
             return b;
         }},
        {"e_lfanew negative",
         [] {
             Bytes b = packertest::BuildImage();
             packertest::PutU32(b, 0x3C, 0xFFFFFF00u);
             return b;
         }},
        {"e_lfanew beyond the file",
         [] {
             Bytes b = packertest::BuildImage();
             packertest::PutU32(b, 0x3C, static_cast<uint32_t>(b.size()) + 16);
             return b;
         }},
        {"NT headers cut off by the end of the file",
         [] {
             Bytes b = packertest::BuildImage();
             packertest::PutU32(b, 0x3C, static_cast<uint32_t>(b.size()) - 100);
             return b;
         }},
        {"no PE signature",
         [] {
             Bytes b = packertest::BuildImage();
             b[0x80 + 1] = 'X';
             return b;
         }},
        {"unknown optional header magic",
         [] {
             Bytes b = packertest::BuildImage();
             b[0x80 + 24] = 0x07;
             b[0x80 + 25] = 0x01;
             return b;
         }},
        {"certificate offset beyond the file",
         [plain] {
             Bytes b = packertest::BuildImage();
             packertest::PutU32(b, packertest::SecurityDirOffset(plain),
                                static_cast<uint32_t>(b.size()) + 1);
             return b;
         }},
        {"certificate length beyond the file",
         [plain] {
             Bytes b = packertest::BuildImage();
             packertest::PutU32(b, packertest::SecurityDirOffset(plain) + 4,
                                static_cast<uint32_t>(b.size()) + 1);
             return b;
         }},
        {"no section at all",
         [] {
             Bytes b = packertest::BuildImage();
             b[0x80 + 6] = 0;
             b[0x80 + 7] = 0;
             return b;
         }},
        {"last section header beyond the file",
         [] {
             Bytes b = packertest::BuildImage();
             b[0x80 + 6] = 0xFF;
             b[0x80 + 7] = 0xFF;
             return b;
         }},
    };
    for (const Refusal& c : cases) {
        ZOLT::CPEFileHelper helper;
        EXPECT_FALSE(Read(c.make(), helper)) << c.label;
        EXPECT_FALSE(helper.IsInitialized()) << c.label;
    }
}

TEST(PEFileHelper, ReportsTheOffsetsOfPE32AndPE32Plus) {
    ImageOptions pe32;
    pe32.pe32Plus = false;
    const ImageOptions pe64;
    ZOLT::CPEFileHelper a, b;
    ASSERT_TRUE(Read(packertest::BuildImage(pe32), a));
    ASSERT_TRUE(Read(packertest::BuildImage(pe64), b));
    EXPECT_FALSE(a.IsPE32Plus());
    EXPECT_TRUE(b.IsPE32Plus());
    EXPECT_EQ(a.GetSecurityDirOffset(), 0x80u + 152);
    EXPECT_EQ(b.GetSecurityDirOffset(), 0x80u + 168);
    EXPECT_EQ(b.GetSecurityDirOffset() - a.GetSecurityDirOffset(), 16u);
    for (const ZOLT::CPEFileHelper* h : {&a, &b}) {
        EXPECT_EQ(h->GetCheckSumOffset(), 0x80u + 88);
        EXPECT_EQ(h->GetCheckSumSize(), 4u);
        EXPECT_EQ(h->GetSecurityDirSize(), 8u);
        EXPECT_EQ(h->GetWinCertificateOffset(), 0u);  // unsigned
        EXPECT_EQ(h->GetWinCertificateLength(), 0u);
        EXPECT_EQ(h->GetEndOfRawData(), 0x400u + 2 * 0x200);
    }
}

TEST(PEFileHelper, TakesTheLastSectionHeaderAndTheCertificateEntry) {
    ImageOptions options;
    options.sections = 5;
    options.lfanew = 0x40;
    Bytes image = packertest::BuildImage(options);
    packertest::AppendCertificateEntry(image, 0x123, options);
    ZOLT::CPEFileHelper helper;
    ASSERT_TRUE(Read(image, helper));
    EXPECT_EQ(helper.GetEndOfRawData(), packertest::EndOfRawData(options));
    EXPECT_EQ(helper.GetWinCertificateOffset(), packertest::EndOfRawData(options));
    EXPECT_EQ(helper.GetWinCertificateLength(), 0x128u);  // 0x123 padded to 8
    EXPECT_EQ(helper.GetSecurityDirOffset(), 0x40u + 168);
}

// The last section's end and the certificate table's end are sums of two
// 32-bit fields: taken in 64 bits, they must lie within the file. A sum that
// wrapped would point the package reader into the headers.
TEST(PEFileHelper, SumsOfOffsetAndSizeMustEndWithinTheFile) {
    const ImageOptions plain;
    const size_t lastHeader = 0x80 + 24 + 240 + 40;
    struct Sum {
        const char* label;
        uint32_t offset, size;
        size_t offsetField, sizeField;
        bool accepted;
    };
    const uint32_t fileSize = packertest::EndOfRawData(plain);
    const uint32_t certificate = packertest::SecurityDirOffset(plain);
    const Sum cases[] = {
        {"last section wrapping past 4 GiB to 8", 0xFFFFFFF8u, 0x10, lastHeader + 20,
         lastHeader + 16, false},
        {"last section ending one byte beyond the file", 0x600, 0x201, lastHeader + 20,
         lastHeader + 16, false},
        {"last section ending at the end of the file", 0x600, 0x200, lastHeader + 20,
         lastHeader + 16, true},
        {"certificate table running past the end", fileSize - 8, 16, certificate, certificate + 4,
         false},
        {"certificate table ending at the end of the file", fileSize - 8, 8, certificate,
         certificate + 4, true},
    };
    for (const Sum& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes image = packertest::BuildImage(plain);
        packertest::PutU32(image, c.offsetField, c.offset);
        packertest::PutU32(image, c.sizeField, c.size);
        ZOLT::CPEFileHelper helper;
        EXPECT_EQ(Read(image, helper), c.accepted);
        EXPECT_EQ(helper.IsInitialized(), c.accepted);
    }
}

TEST(PEFileHelper, ASecondCallAfterSuccessDoesNotTouchTheFile) {
    auto stream = packertest::CountingStream::Over(packertest::BuildImage());
    ZOLT::CPEFileHelper helper;
    ASSERT_TRUE(helper.ReadHeaders(stream.get()));
    EXPECT_GT(stream->calls, 0);
    stream->calls = 0;
    EXPECT_TRUE(helper.ReadHeaders(stream.get()));
    EXPECT_TRUE(helper.ReadHeaders(nullptr));
    EXPECT_EQ(stream->calls, 0);
}

TEST(PEFileHelper, NoStreamIsRefused) {
    ZOLT::CPEFileHelper helper;
    EXPECT_FALSE(helper.ReadHeaders(nullptr));
}

}  // namespace
