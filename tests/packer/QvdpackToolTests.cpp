// The packaging tool as its users run it: collection files from text and back,
// packages added to unsigned and signed executables where the reader finds
// them, and the files it refuses.
#include "PackerTestSupport.h"
#include "ToolRunner.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

namespace {

using packertest::Bytes;
using packertest::RunQvdpack;

std::u16string DataFile(const char* name) {
    std::u16string path = pxLib::Utf8ToUtf16(std::string(QVD_TEST_PACKER_DATA "/") + name);
#ifdef _WIN32
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    path = u"Z:" + path;
#endif
    return path;
}

class QvdpackTool : public ::testing::Test {
protected:
    std::u16string Write(const std::u16string& name, const Bytes& bytes) {
        const std::u16string path = m_dir.file(name);
        EXPECT_TRUE(packertest::WriteBytes(path, bytes));
        return path;
    }
    std::u16string Path(const std::u16string& name) { return m_dir.file(name); }
    packertest::ScratchDir m_dir;
};

// Strips the first line (a comment naming the tool).
std::string Body(const std::string& dump) {
    const size_t newline = dump.find('\n');
    return newline == std::string::npos ? dump : dump.substr(newline + 1);
}

TEST_F(QvdpackTool, WritesAndDumpsCollectionFilesAsARoundTrip) {
    const auto made = RunQvdpack({u"make-data", DataFile("every-kind.txt"), Path(u"a.dat")});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const auto dumped = RunQvdpack({u"dump-data", Path(u"a.dat")});
    ASSERT_EQ(dumped.exitCode, 0) << dumped.output;
    Write(u"dump.txt", Bytes(dumped.output.begin(), dumped.output.end()));
    ASSERT_EQ(RunQvdpack({u"make-data", Path(u"dump.txt"), Path(u"b.dat")}).exitCode, 0);
    EXPECT_EQ(packertest::ReadBytes(Path(u"a.dat")), packertest::ReadBytes(Path(u"b.dat")));
    EXPECT_NE(dumped.output.find("\n17 collection {\n"), std::string::npos) << dumped.output;

    // What it writes is what the install data reader loads.
    ZOLT::CIRT_FileDataExtender data;
    ASSERT_EQ(
        RunQvdpack({u"make-data", DataFile("sample-layout.txt"), Path(u"c/install.dat")}).exitCode,
        0);
    ASSERT_EQ(data.LoadFromStorage(Path(u"c/install.dat")), 0);
    uint32_t kind = 0;
    EXPECT_TRUE(data.GetCollection()->GetUInt32(1001, kind));
    EXPECT_EQ(kind, 64u);
}

TEST_F(QvdpackTool, AddsAPackageToAnUnsignedExecutableAndReplacesItLater) {
    const std::u16string in = Write(u"setup.exe", packertest::BuildImage());
    ASSERT_TRUE(packertest::WriteBytes(Path(u"raw.bin"), Bytes(100, 7)));
    const auto added = RunQvdpack({u"add-package", in, Path(u"out.exe"), u"--layout",
                                   DataFile("sample-layout.txt"), u"--archive", u"Raw",
                                   u"{01234567-89AB-CDEF-0123-456789ABCDEF}", Path(u"raw.bin")});
    ASSERT_EQ(added.exitCode, 0) << added.output;

    const Bytes out = packertest::ReadBytes(Path(u"out.exe"));
    const uint32_t end = packertest::EndOfRawData();
    EXPECT_EQ(Bytes(out.begin(), out.begin() + end), packertest::BuildImage());
    EXPECT_EQ(packertest::GetU32(out, end), 0u);
    uint64_t rawOffset = 0;
    {
        // Closed again before the tool replaces the file below.
        ZOLT::CFilePackerEx packer;
        ASSERT_EQ(packer.Open(Path(u"out.exe")), 0);
        EXPECT_EQ(packer.GetPackageOffset(), end + 4u);
        ASSERT_EQ(packer.GetPackageHeader()->GetArchives().size(), 2u);
        const auto& raw = packer.GetPackageHeader()->GetArchives()[1];
        EXPECT_EQ(raw.GetId(), u"Raw");
        EXPECT_EQ(raw.GetSize(), 100u);
        rawOffset = raw.GetOffset();
    }

    const auto listed = RunQvdpack({u"list", Path(u"out.exe")});
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find("archive 0: id \"FDELayoutData\" type "
                                 "{DA1E64B0-A181-4752-B319-D625E05A9878}"),
              std::string::npos)
        << listed.output;
    EXPECT_NE(
        listed.output.find("archive 1: id \"Raw\" type {01234567-89AB-CDEF-0123-456789ABCDEF} "
                           "size 100 offset " +
                           std::to_string(rawOffset)),
        std::string::npos)
        << listed.output;

    const auto layout = RunQvdpack({u"dump-layout", Path(u"out.exe")});
    ASSERT_EQ(layout.exitCode, 0) << layout.output;
    ASSERT_EQ(RunQvdpack({u"make-data", DataFile("sample-layout.txt"), Path(u"s.dat")}).exitCode,
              0);
    EXPECT_EQ(Body(layout.output), Body(RunQvdpack({u"dump-data", Path(u"s.dat")}).output));

    // Adding again, in place, replaces the package.
    ASSERT_EQ(RunQvdpack({u"add-package", Path(u"out.exe"), Path(u"out.exe"), u"--archive", u"Raw",
                          u"{01234567-89AB-CDEF-0123-456789ABCDEF}", Path(u"raw.bin")})
                  .exitCode,
              0);
    ZOLT::CFilePackerEx packer;
    ASSERT_EQ(packer.Open(Path(u"out.exe")), 0);
    ASSERT_EQ(packer.GetPackageHeader()->GetArchives().size(), 1u);
    EXPECT_EQ(packer.GetPackageHeader()->GetArchives()[0].GetId(), u"Raw");
    EXPECT_EQ(packertest::ReadBytes(Path(u"out.exe")).size(), end + 4u + 12 + 4 + 6 + 4 + 16 + 104);
}

TEST_F(QvdpackTool, PutsThePackageBehindTheFirstCertificateEntry) {
    for (uint32_t entry : {0x200u, 0x203u}) {
        SCOPED_TRACE(entry);
        Bytes image = packertest::BuildImage();
        packertest::AppendCertificateEntry(image, entry);
        const std::u16string in = Write(u"signed.exe", image);
        ASSERT_EQ(RunQvdpack({u"add-package", in, Path(u"out.exe"), u"--layout",
                              DataFile("sample-layout.txt")})
                      .exitCode,
                  0);
        // The image and the first entry as they were, the package directly
        // behind the entry, zeros up to a multiple of 8, and the directory
        // grown to cover it all.
        ASSERT_EQ(
            RunQvdpack({u"make-data", DataFile("sample-layout.txt"), Path(u"s.dat")}).exitCode, 0);
        const Bytes package = packertest::PackageOf(
            {{u"FDELayoutData", ZOLT::kLayoutArchiveType, packertest::ReadBytes(Path(u"s.dat"))}});
        const uint32_t end = packertest::EndOfRawData();
        Bytes expected(image.begin(), image.begin() + end + entry);
        expected.insert(expected.end(), package.begin(), package.end());
        while ((expected.size() - end) % 8 != 0) expected.push_back(0);
        packertest::PutU32(expected, packertest::SecurityDirOffset() + 4,
                           static_cast<uint32_t>(expected.size() - end));
        const Bytes out = packertest::ReadBytes(Path(u"out.exe"));
        EXPECT_EQ(out, expected);

        ZOLT::CIRT_FileDataExtender data;
        ASSERT_EQ(data.Load(Path(u"out.exe")), 0);
        std::u16string text;
        EXPECT_TRUE(data.GetCollection()->GetString(1002, text));
        EXPECT_EQ(text, u"sample layout data");
        ZOLT::CFilePackerEx packer;
        ASSERT_EQ(packer.Open(Path(u"out.exe")), 0);
        EXPECT_EQ(packer.GetPackageOffset(), end + entry);

        // Again, over its own output: the same file comes out.
        ASSERT_EQ(RunQvdpack({u"add-package", Path(u"out.exe"), Path(u"again.exe"), u"--layout",
                              DataFile("sample-layout.txt")})
                      .exitCode,
                  0);
        EXPECT_EQ(packertest::ReadBytes(Path(u"again.exe")), out);
    }
}

TEST_F(QvdpackTool, RefusesFilesWhereTheReaderWouldNotFindThePackage) {
    const uint32_t end = packertest::EndOfRawData();
    Bytes tableElsewhere = packertest::BuildImage();
    tableElsewhere.insert(tableElsewhere.end(), 64, 0xCC);  // e.g. a symbol table
    packertest::AppendCertificateEntry(tableElsewhere, 0x100);
    packertest::PutU32(tableElsewhere, packertest::SecurityDirOffset(), end + 64);
    packertest::PutU32(tableElsewhere, packertest::SecurityDirOffset() + 4, 0x100);
    Bytes twoEntries = packertest::BuildImage();
    packertest::AppendCertificateEntry(twoEntries, 0x100);
    packertest::AppendCertificateEntry(twoEntries, 0x80);
    Bytes dataBehindTable = packertest::BuildImage();
    packertest::AppendCertificateEntry(dataBehindTable, 0x100);
    dataBehindTable.push_back(1);
    Bytes overlay = packertest::BuildImage();
    overlay.insert(overlay.end(), {1, 2, 3, 4, 5, 6, 7, 8});

    struct Case {
        const char* label;
        Bytes file;
        const char* message;
    };
    const Case cases[] = {
        {"certificate table behind other data", tableElsewhere, "strip the executable"},
        {"two certificate entries", twoEntries, "more than one entry"},
        {"data behind the certificate table", dataBehindTable, "data follows the certificate"},
        {"data behind the image", overlay, "data follows the image"},
        {"not an executable", Bytes(500, 'x'), "is not a PE32"},
    };
    for (const Case& c : cases) {
        const std::u16string in = Write(u"in.exe", c.file);
        const auto run = RunQvdpack(
            {u"add-package", in, Path(u"out.exe"), u"--layout", DataFile("sample-layout.txt")});
        EXPECT_EQ(run.exitCode, 1) << c.label;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.label << ": " << run.output;
        EXPECT_FALSE(packertest::PathExists(Path(u"out.exe"))) << c.label;
    }
    EXPECT_EQ(packertest::FolderEntries(m_dir.path()), std::vector<std::u16string>{u"in.exe"});
}

TEST_F(QvdpackTool, ReportsBadInputWithItsLine) {
    Write(u"bad.txt", Bytes{'1', ' ', 'u', 'i', 'n', 't', '3', '2', ' ', '1', '\n', '1', ' ', 'e',
                            'm', 'p', 't', 'y', '\n'});
    const auto bad = RunQvdpack({u"make-data", Path(u"bad.txt"), Path(u"x.dat")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("bad.txt:2: key 1 appears twice"), std::string::npos) << bad.output;
    EXPECT_FALSE(packertest::PathExists(Path(u"x.dat")));

    EXPECT_EQ(RunQvdpack({u"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunQvdpack({u"add-package", Path(u"a"), Path(u"b")}).exitCode, 2);
    Write(u"plain.exe", packertest::BuildImage());
    const auto noLayout = RunQvdpack({u"dump-layout", Path(u"plain.exe")});
    EXPECT_EQ(noLayout.exitCode, 1);
    EXPECT_NE(noLayout.output.find("carries no layout data"), std::string::npos);
    const auto listed = RunQvdpack({u"list", Path(u"plain.exe")});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.output.find("package: none"), std::string::npos) << listed.output;
    const auto badGuid = RunQvdpack({u"add-package", Path(u"plain.exe"), Path(u"o.exe"),
                                     u"--archive", u"X", u"{nope}", Path(u"bad.txt")});
    EXPECT_EQ(badGuid.exitCode, 1);
    EXPECT_NE(badGuid.output.find("an archive type is"), std::string::npos) << badGuid.output;
}

}  // namespace
