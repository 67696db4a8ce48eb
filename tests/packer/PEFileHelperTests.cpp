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
    auto stream = pxLib::CMemoryStream::Create(bytes);
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

TEST(PEFileHelper, EndOfRawDataIsA32BitSum) {
    Bytes image = packertest::BuildImage();
    const size_t lastHeader = 0x80 + 24 + 240 + 40;
    packertest::PutU32(image, lastHeader + 16, 0x10);         // SizeOfRawData
    packertest::PutU32(image, lastHeader + 20, 0xFFFFFFF8u);  // PointerToRawData
    ZOLT::CPEFileHelper helper;
    ASSERT_TRUE(Read(image, helper));
    EXPECT_EQ(helper.GetEndOfRawData(), 8u);
}

// Counts every operation on the stream below.
class CCountingStream final : public pxLib::IByteStream {
public:
    explicit CCountingStream(pxLib::RefPtr<pxLib::IByteStream> inner) : m_inner(std::move(inner)) {}
    pxLib::OBJRESULT QueryInterface(const pxLib::Guid& iid, void** out) override {
        return m_inner->QueryInterface(iid, out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    bool GetSize(uint64_t& s) override { return ++calls, m_inner->GetSize(s); }
    bool SetSize(uint64_t s) override { return ++calls, m_inner->SetSize(s); }
    bool GetPosition(uint64_t& p) override { return ++calls, m_inner->GetPosition(p); }
    bool SetPosition(uint64_t p) override { return ++calls, m_inner->SetPosition(p); }
    bool Write(const void* b, uint32_t c) override { return ++calls, m_inner->Write(b, c); }
    bool Read(void* b, uint32_t c) override { return ++calls, m_inner->Read(b, c); }
    int calls = 0;

private:
    pxLib::CRefCount m_refs;
    pxLib::RefPtr<pxLib::IByteStream> m_inner;
};

TEST(PEFileHelper, ASecondCallAfterSuccessDoesNotTouchTheFile) {
    auto inner = pxLib::CMemoryStream::Create(packertest::BuildImage());
    pxLib::RefPtr<CCountingStream> stream(new CCountingStream(
        pxLib::RefPtr<pxLib::IByteStream>(static_cast<pxLib::IByteStream*>(inner.get()))));
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
