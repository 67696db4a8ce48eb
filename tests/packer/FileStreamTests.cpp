// The file stream over real files: the end-of-file rule, folder creation on
// OPEN_ALWAYS only, chunked copies, and the replacing write.
#include "PackerTestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileSystem.h"
#include "packer/StreamStatus.h"

#include <gtest/gtest.h>

namespace {

using packertest::Bytes;
using ZOLT::FileAccess;
using ZOLT::FileDisposition;
using ZOLT::HResult;

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

pxLib::RefPtr<ZOLT::IFileStream> OpenRead(const std::u16string& path) {
    pxLib::RefPtr<ZOLT::IFileStream> stream;
    EXPECT_EQ(ZOLT::CreateFileStream(path, FileAccess::Read, FileDisposition::OpenExisting, stream),
              0);
    return stream;
}

TEST(FileStream, ReadingPastTheEndFailsWithEndOfFileAndReadsNothing) {
    packertest::ScratchDir dir;
    const std::u16string path = dir.file(u"ten");
    ASSERT_TRUE(packertest::WriteBytes(path, Pattern(10)));
    auto stream = OpenRead(path);
    ASSERT_TRUE(stream);
    uint8_t buffer[16] = {};
    ASSERT_TRUE(stream->SetPosition(4));
    EXPECT_FALSE(stream->Read(buffer, 7));  // 6 remain
    EXPECT_EQ(ZOLT::LastStreamResult(stream.get(), 0), HResult(0x80070026));
    uint64_t position = 0;
    ASSERT_TRUE(stream->GetPosition(position));
    EXPECT_EQ(position, 4u);
    EXPECT_TRUE(stream->Read(buffer, 6));
    const Bytes all = Pattern(10);
    EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes(all.begin() + 4, all.end()));
    EXPECT_FALSE(stream->Read(buffer, 1));  // at the end
    EXPECT_EQ(ZOLT::LastStreamResult(stream.get(), 0), HResult(0x80070026));
    EXPECT_FALSE(stream->SetPosition(11));  // beyond the end
    EXPECT_EQ(ZOLT::LastStreamResult(stream.get(), 0), HResult(0x80070026));
    uint64_t size = 0;
    EXPECT_TRUE(stream->GetSize(size));
    EXPECT_EQ(size, 10u);
}

TEST(FileStream, OnlyOpenAlwaysCreatesMissingFolders) {
    packertest::ScratchDir dir;
    const std::u16string deep = dir.file(u"a/b/c/file.dat");
    pxLib::RefPtr<ZOLT::IFileStream> stream;
    EXPECT_EQ(
        ZOLT::CreateFileStream(deep, FileAccess::Write, FileDisposition::CreateAlways, stream),
        HResult(0x80070057));
    EXPECT_EQ(ZOLT::CreateFileStream(deep, FileAccess::Read, FileDisposition::OpenExisting, stream),
              HResult(0x80070057));
    EXPECT_FALSE(packertest::PathExists(dir.file(u"a")));
    ASSERT_EQ(ZOLT::CreateFileStream(deep, FileAccess::Write, FileDisposition::OpenAlways, stream),
              0);
    EXPECT_TRUE(stream->Write("abc", 3));
    stream.reset();
    EXPECT_EQ(packertest::ReadBytes(deep), (Bytes{'a', 'b', 'c'}));
    // A missing file in an existing folder is the system's "file not found".
    EXPECT_EQ(ZOLT::CreateFileStream(dir.file(u"a/none"), FileAccess::Read,
                                     FileDisposition::OpenExisting, stream),
              HResult(0x80070002));
}

TEST(FileStream, CopiesAStreamInChunksFromItsStart) {
    packertest::ScratchDir dir;
    for (size_t size : {size_t{0}, size_t{1}, size_t{16384}, size_t{40000}}) {
        const Bytes content = Pattern(size);
        auto source = pxLib::MemoryStream::Create(content);
        ASSERT_TRUE(
            source->SetPosition(size / 2));  // the copy starts at 0 wherever the source stands
        const std::u16string path = dir.file(u"copy" + std::u16string(1, u'0' + size % 10));
        pxLib::RefPtr<ZOLT::IFileStream> file;
        ASSERT_EQ(
            ZOLT::CreateFileStream(path, FileAccess::Write, FileDisposition::CreateAlways, file),
            0);
        EXPECT_EQ(ZOLT::CopyStreamToFile(source.get(), file.get()), 0);
        file.reset();
        EXPECT_EQ(packertest::ReadBytes(path), content) << size;
    }
}

TEST(FileStream, ReplacingLeavesNoTailAndNoTemporaryFile) {
    packertest::ScratchDir dir;
    const std::u16string path = dir.file(u"data.bin");
    ASSERT_TRUE(packertest::WriteBytes(path, Bytes(50000, 0xEE)));
    const Bytes shorter = Pattern(123);
    auto content = pxLib::MemoryStream::Create(shorter);
    EXPECT_EQ(ZOLT::ReplaceFileWith(path, content.get()), 0);
    EXPECT_EQ(packertest::ReadBytes(path), shorter);
    EXPECT_EQ(packertest::FolderEntries(dir.path()), std::vector<std::u16string>{u"data.bin"});
    // A file that does not exist yet, in folders that do not exist yet.
    const std::u16string fresh = dir.file(u"new/folder/data.bin");
    EXPECT_EQ(ZOLT::ReplaceFileWith(fresh, content.get()), 0);
    EXPECT_EQ(packertest::ReadBytes(fresh), shorter);
}

TEST(FileStream, ReplacingAFolderFailsAndRemovesItsTemporaryFile) {
    packertest::ScratchDir dir;
    ASSERT_TRUE(packertest::MakeFolder(dir.file(u"taken/inner")));
    auto content = pxLib::MemoryStream::Create(Pattern(10));
    EXPECT_LT(ZOLT::ReplaceFileWith(dir.file(u"taken"), content.get()), 0);
    EXPECT_EQ(packertest::FolderEntries(dir.path()), std::vector<std::u16string>{u"taken"});
}

TEST(FileStream, SplitPathKeepsTheSeparator) {
    std::u16string folder, name;
    ASSERT_TRUE(ZOLT::SplitPath(u"C:\\app\\bin\\setup.exe", folder, name));
    EXPECT_EQ(folder, u"C:\\app\\bin\\");
    EXPECT_EQ(name, u"setup.exe");
    ASSERT_TRUE(ZOLT::SplitPath(u"/opt/app/setup.exe", folder, name));
    EXPECT_EQ(folder, u"/opt/app/");
    EXPECT_FALSE(ZOLT::SplitPath(u"setup.exe", folder, name));
    // A folder path: the folder itself and no file name.
    ASSERT_TRUE(ZOLT::SplitPath(u"C:\\app\\", folder, name));
    EXPECT_EQ(folder, u"C:\\app\\");
    EXPECT_EQ(name, u"");
}

}  // namespace
