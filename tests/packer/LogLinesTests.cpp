// The fixed debug-log lines of the package reader, the PE helper and the
// install layout data, read back from the log file that the product's debug
// options ask for. Options load once per process: this program sets them up
// before anything logs, under a silo of its own.
#include "PackerTestSupport.h"
#include "common/TestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "support/isolation/IsolationSettings.h"
#include "support/system/SearchOwners.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <memory>

namespace {

using packertest::Bytes;

// The log folder and the product's debug options, for the whole program.
class LogSetup : public ::testing::Environment {
public:
    void SetUp() override {
        const std::wstring silo = qvdtest::NewGuidText();
        m_dir = std::make_unique<qvdtest::TempDir>();
        m_product = std::make_unique<qvdtest::ScopedRegistryKey>(HKEY_LOCAL_MACHINE,
                                                                 L"SOFTWARE\\Halvex\\" + silo);
        m_options = std::make_unique<qvdtest::ScopedRegistryKey>(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvex\\" + silo + L"\\Plexor\\Debug\\DebugOutput");
        ASSERT_TRUE(m_options->SetDword(L"DebugType", 1));
        ASSERT_TRUE(m_options->SetDword(L"OutputToFile", 1));
        ASSERT_TRUE(m_options->SetDword(L"OutputToDebugger", 0));
        ASSERT_TRUE(m_options->SetDword(L"AppendProcessIdToFile", 0));
        ASSERT_TRUE(m_options->SetString(L"Directory", m_dir->path()));
        folder = m_dir->path();
        // The product's keys exist in the 64-bit view: that view is chosen.
        pxLib::SelectProductRegistryView(pxLib::ToU16(silo));
        ASSERT_EQ(pxLib::IsolationSettings::RegistryView(), pxLib::kRegistryView64);
    }
    void TearDown() override {
        m_options.reset();
        m_product.reset();
        m_dir.reset();
    }
    static std::wstring folder;

private:
    std::unique_ptr<qvdtest::TempDir> m_dir;
    std::unique_ptr<qvdtest::ScopedRegistryKey> m_product, m_options;
};
std::wstring LogSetup::folder;

const auto* const kSetup = ::testing::AddGlobalTestEnvironment(new LogSetup);

// Everything logged so far.
std::wstring LogText() {
    WIN32_FIND_DATAW entry;
    const pxLib::UniqueFindHandle find(
        FindFirstFileW((LogSetup::folder + L"\\*.log").c_str(), &entry));
    if (!find) return {};
    const std::wstring path = LogSetup::folder + L"\\" + entry.cFileName;
    const std::string bytes = qvdtest::ReadFileUtf8(path);
    if (bytes.size() < 2) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

void ExpectLines(const std::vector<std::wstring>& lines) {
    const std::wstring log = LogText();
    if (log.empty()) {
        std::string names;
        for (const auto& name : packertest::FolderEntries(pxLib::ToU16(LogSetup::folder)))
            names += " " + packertest::Narrow(name);
        FAIL() << "no log file in " << qvdtest::Narrow(LogSetup::folder) << ":" << names;
    }
    for (const std::wstring& line : lines)
        EXPECT_NE(log.find(line + L"\r\n"), std::wstring::npos)
            << qvdtest::Narrow(line) << "\nnot in:\n"
            << qvdtest::Narrow(log);
}

std::wstring Error(const std::wstring& text) {
    return L" : Error : " + text;
}
std::wstring Information(const std::wstring& text) {
    return L" : Information : " + text;
}
std::wstring Warning(const std::wstring& text) {
    return L" : Warning : " + text;
}

std::wstring Place(const qvdtest::TempDir& dir, const wchar_t* name, const Bytes& bytes) {
    const std::wstring path = dir.file(name);
    EXPECT_TRUE(packertest::WriteBytes(pxLib::ToU16(path), bytes));
    return path;
}

Bytes Unsigned(const Bytes& package) {
    Bytes file = packertest::BuildImage();
    packertest::AppendU32(file, 0);
    file.insert(file.end(), package.begin(), package.end());
    return file;
}

TEST(PackerLogLines, OpenAndThePEHelper) {
    qvdtest::TempDir dir;
    ZOLT::CFilePackerEx packer;
    EXPECT_TRUE(ZOLT::Failed(packer.Open(std::u16string())));
    const std::wstring missing = dir.file(L"missing.exe");
    EXPECT_TRUE(ZOLT::Failed(packer.Open(missing)));
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"text.exe", Bytes(200, 'x')))));
    Bytes badCertificate = packertest::BuildImage();
    packertest::PutU32(badCertificate, packertest::SecurityDirOffset() + 4, 0x7FFFFFFF);
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"cert.exe", badCertificate))));
    Bytes shortImage = packertest::BuildImage();
    shortImage.pop_back();
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"short.exe", shortImage))));
    ExpectLines({
        Error(L"ZOLT::CFilePackerEx::Open(70) : Invalid agrument"),
        Error(L"ZOLT::CFilePackerEx::Open(76) : Source file not found: " + missing),
        Error(L"ZOLT::CPEFileHelper::ReadHeaders(94) : CSignedPEFile::ReadHeaders() : "
              L"IMAGE_DOS_SIGNATURE != dosHeader.e_magic"),
        Error(L"ZOLT::CPEFileHelper::ReadHeaders(168) : CSignedPEFile::ReadHeaders() : "
              L"m_dwWinCertificateLength > m_dwMaxCertificateSize"),
        Error(L"ZOLT::CPEFileHelper::ReadHeaders(193) : CSignedPEFile::ReadHeaders() : "
              L"m_qwEndOfRawData > GetLength()"),
        Error(L"ZOLT::CFilePackerEx::InitPEHeaders(996) : Failed to read PE Headers"),
    });
}

TEST(PackerLogLines, BrokenPackages) {
    qvdtest::TempDir dir;
    Bytes package = packertest::PackageOf({{u"a", ZOLT::kLayoutArchiveType, Bytes{1}}});
    Bytes corrupted = package;
    corrupted[corrupted.size() - 1] = 0;
    Bytes version6 = package;
    packertest::PutU32(version6, 4, 6);
    Bytes longId = package;
    packertest::PutU32(longId, 12, 0x10000);
    Bytes countBeyond = package;
    packertest::PutU32(countBeyond, 8, 0xFFFFFFFFu);
    ZOLT::CFilePackerEx packer;
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"corrupted.exe", Unsigned(corrupted)))));
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"version6.exe", Unsigned(version6)))));
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"longid.exe", Unsigned(longId)))));
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"count.exe", Unsigned(countBeyond)))));
    ExpectLines({
        Error(L"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(181) : Package is corrupted"),
        Error(L"ZOLT::CFilePackerEx::ReadPackageHeader(965) : Failed to deserialize"),
        Error(L"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(93) : Invalid package version 6. "
              L"Current version is 5"),
        Error(L"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(493) : Failed to read archive id. "
              L"HRESULT 0x80070026"),
        Error(L"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(135) : Invalid number of "
              L"archives 4294967295. HRESULT 0x80070026"),
    });
}

// A version-5 archive whose size runs past the end of the file: the move to
// its end marker fails and says where it tried to go. One that ends exactly at
// the end of the file leaves no room for the marker: the read fails instead.
TEST(PackerLogLines, AnArchiveRunningPastTheEnd) {
    qvdtest::TempDir dir;
    constexpr size_t kSizeField = 12 + 4 + 2;  // behind the header, the id length and "a"
    constexpr uint32_t kArchiveStart = 12 + 4 + 2 + 4 + 16;  // behind the one record
    constexpr uint32_t kPastTheEnd = 0x40;
    constexpr uint32_t kToTheEnd = 1 + 4;  // its byte and the marker's four
    const uint32_t packageStart = packertest::EndOfRawData() + 4;
    Bytes past = packertest::PackageOf({{u"a", ZOLT::kLayoutArchiveType, Bytes{1}}});
    Bytes toTheEnd = past;
    packertest::PutU32(past, kSizeField, kPastTheEnd);
    packertest::PutU32(toTheEnd, kSizeField, kToTheEnd);
    ZOLT::CFilePackerEx packer;
    EXPECT_EQ(packer.Open(pxLib::ToU16(Place(dir, L"past.exe", Unsigned(past)))),
              ZOLT::HResult(0x80070026));
    EXPECT_EQ(packer.Open(pxLib::ToU16(Place(dir, L"end.exe", Unsigned(toTheEnd)))),
              ZOLT::HResult(0x80070026));
    const uint32_t target = packageStart + kArchiveStart + kPastTheEnd;
    ExpectLines({
        Error(L"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(169) : Failed to set position "
              L"to " +
              std::to_wstring(target) + L". HRESULT 0x80070026"),
        Error(L"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(176) : Failed to read stream. "
              L"HRESULT 0x80070026"),
    });
}

TEST(PackerLogLines, LegacyRecords) {
    qvdtest::TempDir dir;
    ZOLT::CFilePackerEx packer;
    EXPECT_EQ(packer.Open(Place(dir, L"legacy.exe",
                                Unsigned(packertest::LegacyPackage(1, {{u"seg0", {1}, 0}})))),
              ZOLT::kHrOk);
    EXPECT_TRUE(ZOLT::Failed(packer.Open(
        Place(dir, L"ten.exe", Unsigned(packertest::LegacyPackage(1, {{u"x", {1}, 10}}))))));
    Bytes idTag = packertest::LegacyPackage(1, {{u"x", {1}, 1}});
    idTag[20] = 7;
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"idtag.exe", Unsigned(idTag)))));
    Bytes sizeTag = packertest::LegacyPackage(1, {{u"x", {1}, 1}});
    sizeTag[20 + 1 + 4 + 4] = 3;
    EXPECT_TRUE(ZOLT::Failed(packer.Open(Place(dir, L"sizetag.exe", Unsigned(sizeTag)))));
    ExpectLines({
        Information(L"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(631) : Segment header "
                    L"seg0 Deserialized"),
        Error(L"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(623) : Unexpected legacy "
              L"type 10"),
        Error(L"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(543) : Unexpected type "
              L"value: Expected 0x08 (pxLib::CArchive::eWStringData), actual 0x07"),
        Error(L"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(585) : Unexpected type "
              L"value: Expected 0x04 (pxLib::CArchive::eWStringData), actual 0x03"),
    });
}

TEST(PackerLogLines, LookupsAndWriters) {
    ZOLT::CFilePackerEx packer;
    pxLib::RefPtr<pxLib::IByteStream> stream;
    EXPECT_FALSE(packer.HasArchive(u"FDELayoutData", ZOLT::kLayoutArchiveType));
    EXPECT_EQ(packer.ExtractStream(u"FDELayoutData", ZOLT::kLayoutArchiveType, stream),
              ZOLT::kHrInvalidState);
    auto memory = pxLib::MemoryStream::Create();
    EXPECT_EQ(
        ZOLT::CFilePackerEx::CArchiveInfo(u"", 1, ZOLT::kLayoutArchiveType).Serialize(memory.get()),
        ZOLT::kHrInvalidArg);
    ExpectLines({
        Error(L"ZOLT::CFilePackerEx::HasArchive(170) : Object is not initialized"),
        Error(L"ZOLT::CFilePackerEx::ExtractStream(504) : Object is not initialized"),
        Error(L"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(450) : Failed to write size of "
              L"archive. HRESULT 0x80070057"),
    });
}

TEST(PackerLogLines, InstallLayoutData) {
    qvdtest::TempDir dir;
    auto layout = packertest::LayoutCollection(64, u"x");
    const std::wstring withLayout = Place(
        dir, L"with.exe",
        Unsigned(packertest::PackageOf(
            {{u"FDELayoutData", ZOLT::kLayoutArchiveType, packertest::SavedCollection(*layout)}})));
    CreateDirectoryW(dir.file(L"bin").c_str(), nullptr);
    const std::wstring without =
        Place(dir, L"bin\\without.exe", Unsigned(packertest::PackageOf({})));
    const std::wstring notAnImage = Place(dir, L"bin\\text.exe", Bytes(100, 'x'));
    const std::wstring beside = dir.file(L"bin\\install.dat");
    ZOLT::CIRT_FileDataExtender data;
    EXPECT_EQ(data.Load(withLayout), ZOLT::kHrOk);
    // Nothing beside it: tried, then one folder up; only the lines matter here.
    static_cast<void>(data.Load(without));
    Place(dir, L"install.dat", packertest::SavedCollection(*layout));
    EXPECT_EQ(data.Load(without), ZOLT::kHrOk);
    // Not an image: the install data one folder up stands in.
    EXPECT_EQ(data.Load(notAnImage), ZOLT::kHrOk);
    EXPECT_TRUE(ZOLT::Failed(data.Load(std::wstring())));
    EXPECT_EQ(data.SaveToStorage(std::wstring()), ZOLT::kHrInvalidArg);
    ExpectLines({
        Information(L"FDE Data loaded from " + withLayout),
        Information(L"Data not found in Module " + without),
        Information(L"Unable to load data from module, falling back to install.dat 0x00000000 (" +
                    without + L")"),
        Warning(L"File " + beside + L" not found"),
        Information(L"FDE Data loaded from storage " + dir.file(L"bin\\..\\install.dat")),
        Error(L"Failed to open file " + notAnImage + L" in Packer. HRESULT 0x800700c1"),
        Error(L"Null or Empty parameter"),
        Error(L"Invalid parameter. Storage Key Name is empty"),
    });
}

}  // namespace
