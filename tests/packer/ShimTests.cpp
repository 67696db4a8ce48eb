// Real-world input: Debian's signed shim (unpacked from shim-signed, never
// installed) through the PE helper and the package reader. Its certificate
// table holds more than one entry and does not start at the end of its last
// section, so the reader looks for the package elsewhere and the rules decide
// what it finds there.
#include "PackerTestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

namespace {

using packertest::Bytes;

std::u16string ShimPath() {
    std::u16string path = pxLib::Utf8ToUtf16(QVD_TEST_SHIM_EFI);
#ifdef _WIN32
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    path = u"Z:" + path;
#endif
    return path;
}

uint16_t U16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(ShimSigned, ReadsAsTheRulesSay) {
    const std::u16string path = ShimPath();
    const Bytes file = packertest::ReadBytes(path);
    ASSERT_FALSE(file.empty()) << packertest::Narrow(path)
                               << " is missing: scripts/lib/setup.sh fetch_shim_signed fetches it";

    // What the file says, read here without the helper.
    const uint32_t lfanew = packertest::GetU32(file, 0x3C);
    ASSERT_EQ(U16(file, lfanew + 24), 0x20B);  // PE32+
    const uint32_t tableOffset = packertest::GetU32(file, lfanew + 168);
    const uint32_t tableLength = packertest::GetU32(file, lfanew + 172);
    int entries = 0;
    for (uint64_t at = tableOffset; at < uint64_t{tableOffset} + tableLength; ++entries)
        at += (packertest::GetU32(file, at) + 7) & ~7u;
    EXPECT_GT(entries, 1);
    const uint16_t sections = U16(file, lfanew + 6);
    const uint32_t last = lfanew + 24 + U16(file, lfanew + 20) + 40 * (sections - 1);
    const uint32_t endOfRawData =
        packertest::GetU32(file, last + 20) + packertest::GetU32(file, last + 16);

    ZOLT::CFilePackerEx packer;
    const ZOLT::HRESULT hr = packer.Open(path);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    ASSERT_NE(pe, nullptr);
    EXPECT_TRUE(pe->IsPE32Plus());
    EXPECT_EQ(pe->GetSecurityDirOffset(), lfanew + 168);
    EXPECT_EQ(pe->GetCheckSumOffset(), lfanew + 88);
    EXPECT_EQ(pe->GetWinCertificateOffset(), tableOffset);
    EXPECT_EQ(pe->GetWinCertificateLength(), tableLength);
    EXPECT_EQ(pe->GetEndOfRawData(), endOfRawData);
    EXPECT_NE(endOfRawData, tableOffset);  // other data lies between the image and the table

    // The rules: S at endOfRawData, the package at endOfRawData + S (or + 4).
    ASSERT_LE(uint64_t{endOfRawData} + 4, file.size());
    const uint32_t s = packertest::GetU32(file, endOfRawData);
    const uint64_t start = uint64_t{endOfRawData} + (s != 0 ? s : 4);
    if (start + 4 > file.size()) {
        EXPECT_EQ(hr, 0);
        EXPECT_FALSE(packer.HasPackage());
        EXPECT_EQ(packer.GetPackageOffset(), start);
    } else if (packertest::GetU32(file, start) != ZOLT::kPackageMagic) {
        EXPECT_EQ(hr, ZOLT::HResult(0x8007000B));
    } else {
        ADD_FAILURE() << "the shim carries a package magic where the reader looks";
    }

    ZOLT::CIRT_FileDataExtender data;
    EXPECT_LT(data.Load(path), 0);  // no layout data, and no install.dat beside it
}

TEST(ShimSigned, ReadsTheSameOverMemory) {
    const Bytes file = packertest::ReadBytes(ShimPath());
    ASSERT_FALSE(file.empty());
    ZOLT::CFilePackerEx fromFile, fromMemory;
    auto stream = pxLib::CMemoryStream::Create(file);
    EXPECT_EQ(fromFile.Open(ShimPath()), fromMemory.OpenStream(stream.get()));
    EXPECT_EQ(fromFile.HasPackage(), fromMemory.HasPackage());
    EXPECT_EQ(fromFile.GetPackageOffset(), fromMemory.GetPackageOffset());
}

}  // namespace
