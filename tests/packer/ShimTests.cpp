// Real-world input: Debian's signed shim (unpacked from shim-signed, never
// installed) through the PE helper and the package reader. Its certificate
// table holds more than one entry and does not start at the end of its last
// section, so the reader looks for the package elsewhere.
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

// The bytes behind the shim's last section belong to its own data (the names
// ".dummy0", ".dummy1", ...), not to a certificate entry. Read as the entry's
// length they put the package start far beyond the end of the file, and for
// that the rules give one outcome: the file opens without a package, and the
// layout data is not found in it nor in an "install.dat" beside it.
TEST(ShimSigned, OpensWithoutAPackageAsTheRulesSay) {
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
    ASSERT_LE(uint64_t{endOfRawData} + 4, file.size());
    const uint32_t firstWord = packertest::GetU32(file, endOfRawData);
    const uint64_t packageStart = uint64_t{endOfRawData} + firstWord;
    // The premise of the one outcome below.
    ASSERT_NE(endOfRawData, tableOffset);  // other data lies between the image and the table
    ASSERT_NE(firstWord, 0u);
    ASSERT_GT(packageStart, file.size());

    ZOLT::CFilePackerEx packer;
    EXPECT_EQ(packer.Open(path), 0);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    ASSERT_NE(pe, nullptr);
    EXPECT_TRUE(pe->IsPE32Plus());
    EXPECT_EQ(pe->GetSecurityDirOffset(), lfanew + 168);
    EXPECT_EQ(pe->GetCheckSumOffset(), lfanew + 88);
    EXPECT_EQ(pe->GetWinCertificateOffset(), tableOffset);
    EXPECT_EQ(pe->GetWinCertificateLength(), tableLength);
    EXPECT_EQ(pe->GetEndOfRawData(), endOfRawData);
    EXPECT_FALSE(packer.HasPackage());
    EXPECT_EQ(packer.GetPackageOffset(), packageStart);
    EXPECT_TRUE(packer.GetPackageHeader()->GetArchives().empty());

    ZOLT::CIRT_FileDataExtender data;
    EXPECT_EQ(data.Load(path), ZOLT::kHrNotFound);
}

TEST(ShimSigned, ReadsTheSameOverMemory) {
    const Bytes file = packertest::ReadBytes(ShimPath());
    ASSERT_FALSE(file.empty());
    ZOLT::CFilePackerEx fromFile, fromMemory;
    auto stream = pxLib::MemoryStream::Create(file);
    EXPECT_EQ(fromFile.Open(ShimPath()), fromMemory.OpenStream(stream.get()));
    EXPECT_EQ(fromFile.HasPackage(), fromMemory.HasPackage());
    EXPECT_EQ(fromFile.GetPackageOffset(), fromMemory.GetPackageOffset());
}

}  // namespace
