// The build step that makes an installer's appended data part of its last
// section: the folded image ends where the package reader will look for the
// certificate table, nothing of the data moves, and whatever it cannot fold
// safely it leaves untouched.
#include "FoldOverlay.h"
#include "packer/PackerTestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/PEFileHelper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using packertest::Bytes;
using packertest::ImageOptions;
using qvdsample::FoldOverlay;
using qvdsample::FoldResult;

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kAppendedBytes = 0x123;
constexpr uint32_t kSectionHeaderSize = 40;

size_t OptionalHeader(const ImageOptions& o) {
    return static_cast<size_t>(o.lfanew) + 24;
}
size_t SectionHeader(const ImageOptions& o, uint16_t index) {
    return OptionalHeader(o) + (o.pe32Plus ? 240 : 224) + kSectionHeaderSize * index;
}
size_t LastSection(const ImageOptions& o) {
    return SectionHeader(o, static_cast<uint16_t>(o.sections - 1));
}
// Section header fields.
constexpr size_t kVirtualSize = 8;
constexpr size_t kVirtualAddress = 12;
constexpr size_t kSizeOfRawData = 16;
constexpr size_t kPointerToRawData = 20;
// Optional header fields.
constexpr size_t kSectionAlignmentField = 32;
constexpr size_t kFileAlignmentField = 36;
constexpr size_t kSizeOfImageField = 56;

// A synthetic image with the alignments a linker writes.
Bytes Image(const ImageOptions& o) {
    Bytes image = packertest::BuildImage(o);
    packertest::PutU32(image, OptionalHeader(o) + kSectionAlignmentField, kSectionAlignment);
    packertest::PutU32(image, OptionalHeader(o) + kFileAlignmentField, kFileAlignment);
    return image;
}

// The image with data behind its last section, as installer builders append it.
Bytes WithAppendedData(const ImageOptions& o) {
    Bytes image = Image(o);
    for (uint32_t i = 0; i < kAppendedBytes; ++i)
        image.push_back(static_cast<uint8_t>(0xA0 + i % 13));
    return image;
}

uint32_t EndOfRawDataSeenByTheReader(const Bytes& image) {
    ZOLT::CPEFileHelper helper;
    auto stream = pxLib::MemoryStream::Create(image);
    EXPECT_TRUE(helper.ReadHeaders(stream.get()));
    return helper.GetEndOfRawData();
}

TEST(FoldOverlay, TheAppendedDataBecomesTheEndOfTheLastSection) {
    for (const bool pe32Plus : {true, false}) {
        ImageOptions o;
        o.pe32Plus = pe32Plus;
        SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
        const Bytes before = WithAppendedData(o);
        Bytes image = before;
        ASSERT_EQ(FoldOverlay(image), FoldResult::Folded);

        const uint32_t foldedSize =
            (packertest::EndOfRawData(o) + kAppendedBytes + kFileAlignment - 1) / kFileAlignment *
            kFileAlignment;
        ASSERT_EQ(image.size(), foldedSize);
        EXPECT_EQ(EndOfRawDataSeenByTheReader(image), foldedSize);
        // The section and the image grow to cover it; the data stays where it was.
        const uint32_t lastStart = packertest::GetU32(image, LastSection(o) + kPointerToRawData);
        EXPECT_EQ(packertest::GetU32(image, LastSection(o) + kSizeOfRawData),
                  foldedSize - lastStart);
        EXPECT_EQ(packertest::GetU32(image, LastSection(o) + kVirtualSize), foldedSize - lastStart);
        const uint32_t lastAddress = packertest::GetU32(image, LastSection(o) + kVirtualAddress);
        EXPECT_EQ(packertest::GetU32(image, OptionalHeader(o) + kSizeOfImageField),
                  (lastAddress + foldedSize - lastStart + kSectionAlignment - 1) /
                      kSectionAlignment * kSectionAlignment);
        for (size_t i = LastSection(o) + kSectionHeaderSize; i < before.size(); ++i)
            ASSERT_EQ(image[i], before[i]) << "byte " << i;
        for (size_t i = before.size(); i < image.size(); ++i)
            ASSERT_EQ(image[i], 0) << "padding byte " << i;
        // Folding again finds nothing to do.
        const Bytes folded = image;
        EXPECT_EQ(FoldOverlay(image), FoldResult::NothingToFold);
        EXPECT_EQ(image, folded);
    }
}

TEST(FoldOverlay, ALargerVirtualSizeIsKept) {
    const ImageOptions o;
    constexpr uint32_t kLargeVirtualSize = 0x5000;
    Bytes image = WithAppendedData(o);
    packertest::PutU32(image, LastSection(o) + kVirtualSize, kLargeVirtualSize);
    ASSERT_EQ(FoldOverlay(image), FoldResult::Folded);
    EXPECT_EQ(packertest::GetU32(image, LastSection(o) + kVirtualSize), kLargeVirtualSize);
    const uint32_t lastAddress = packertest::GetU32(image, LastSection(o) + kVirtualAddress);
    EXPECT_EQ(packertest::GetU32(image, OptionalHeader(o) + kSizeOfImageField),
              lastAddress + kLargeVirtualSize);
}

TEST(FoldOverlay, LeavesAloneWhatItCannotFoldSafely) {
    const ImageOptions o;
    const struct {
        const char* what;
        FoldResult result;
        std::function<void(Bytes&)> change;
    } cases[] = {
        {"nothing appended", FoldResult::NothingToFold, [&](Bytes& b) { b = Image(o); }},
        {"signed already", FoldResult::Signed,
         [&](Bytes& b) { packertest::PutU32(b, packertest::SecurityDirOffset(o) + 4, 8); }},
        {"shorter than a DOS header", FoldResult::NotAnImage, [](Bytes& b) { b.resize(63); }},
        {"no MZ", FoldResult::NotAnImage, [](Bytes& b) { b[0] = 'Z'; }},
        {"NT headers beyond the file", FoldResult::NotAnImage,
         [](Bytes& b) { packertest::PutU32(b, 0x3C, 0xFFFFFFF0u); }},
        {"no PE signature", FoldResult::NotAnImage,
         [&](Bytes& b) { b[static_cast<size_t>(o.lfanew) + 1] = 'X'; }},
        {"unknown optional header magic", FoldResult::NotAnImage,
         [&](Bytes& b) { b[OptionalHeader(o)] = 0x07; }},
        {"no sections", FoldResult::NotAnImage,
         [&](Bytes& b) { b[static_cast<size_t>(o.lfanew) + 6] = 0; }},
        {"section table beyond the file", FoldResult::NotAnImage,
         [&](Bytes& b) { b[static_cast<size_t>(o.lfanew) + 7] = 0xFF; }},
        {"optional header too small for the certificate entry", FoldResult::NotAnImage,
         [&](Bytes& b) { b[static_cast<size_t>(o.lfanew) + 20] = 0x60; }},
        {"file alignment not a power of two", FoldResult::NotAnImage,
         [&](Bytes& b) { packertest::PutU32(b, OptionalHeader(o) + kFileAlignmentField, 0x300); }},
        {"last section's raw data beyond the file", FoldResult::NotAnImage,
         [&](Bytes& b) { packertest::PutU32(b, LastSection(o) + kSizeOfRawData, 0x7FFFFFFF); }},
        {"an earlier section's raw data behind the last one's", FoldResult::Unsupported,
         [&](Bytes& b) { packertest::PutU32(b, SectionHeader(o, 0) + kPointerToRawData, 0x600); }},
        {"an earlier section mapped behind the last one", FoldResult::Unsupported,
         [&](Bytes& b) { packertest::PutU32(b, SectionHeader(o, 0) + kVirtualAddress, 0x9000); }},
        {"last section without raw data", FoldResult::Unsupported,
         [&](Bytes& b) {
             packertest::PutU32(b, LastSection(o) + kSizeOfRawData, 0);
             packertest::PutU32(b, LastSection(o) + kPointerToRawData, 0);
         }},
        {"image size beyond 32 bits", FoldResult::Unsupported,
         [&](Bytes& b) { packertest::PutU32(b, LastSection(o) + kVirtualSize, 0xFFFFF000u); }},
    };
    for (const auto& c : cases) {
        Bytes image = WithAppendedData(o);
        c.change(image);
        const Bytes before = image;
        EXPECT_EQ(FoldOverlay(image), c.result) << c.what;
        EXPECT_EQ(image, before) << c.what;
    }
}

}  // namespace
