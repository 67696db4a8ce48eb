// The install layout data with real files: the module form and its fallbacks,
// the file form, and the save that keeps entry 20041 out of the file and
// replaces the old file in one step.
#include "PackerTestSupport.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileDataExtender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

using packertest::Bytes;
using ZOLT::CIRT_FileDataExtender;
using ZOLT::HResult;

Bytes Layout(const std::u16string& source) {
    return packertest::SavedCollection(*packertest::LayoutCollection(64, source));
}

Bytes UnsignedWith(const std::vector<ZOLT::PackageArchive>& archives) {
    Bytes file = packertest::BuildImage();
    packertest::AppendU32(file, 0);
    const Bytes package = packertest::PackageOf(archives);
    file.insert(file.end(), package.begin(), package.end());
    return file;
}

std::u16string TextOf(const CIRT_FileDataExtender& data) {
    // No collection or no text: empty.
    std::u16string text;
    if (data.GetCollection() == nullptr || !data.GetCollection()->GetString(1002, text)) return {};
    return text;
}

// What lies where: the module, "install.dat" beside it, and one folder up.
struct Placement {
    std::function<Bytes()> module;  // null: no module file
    bool beside = false;
    bool above = false;
};

struct LoadCase {
    const char* label;
    Placement layout;
    ZOLT::HRESULT result;
    std::u16string loadedFrom;  // the text of entry 1002, empty when nothing loaded
    int storageForm;            // 0 beside, 1 above
};

const constexpr pxLib::Guid kOtherType = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

TEST(FileDataExtender, LoadsTheModuleFormWithItsFallbacks) {
    const auto withLayout = [] {
        return UnsignedWith({{u"FDELayoutData", ZOLT::kLayoutArchiveType, Layout(u"module")}});
    };
    const auto otherArchive = [] {
        return UnsignedWith({{u"Something", ZOLT::kLayoutArchiveType, Layout(u"module")}});
    };
    const auto otherType = [] {
        return UnsignedWith({{u"FDELayoutData", kOtherType, Layout(u"module")}});
    };
    const auto legacy = [] {
        Bytes file = packertest::BuildImage();
        packertest::AppendU32(file, 0);
        std::vector<packertest::LegacyRecord> records;
        for (uint32_t t = 0; t < 10; ++t)
            records.push_back({u"FDELayoutData", Layout(u"module"), t});
        const Bytes package = packertest::LegacyPackage(4, records);
        file.insert(file.end(), package.begin(), package.end());
        return file;
    };
    const auto noPackage = [] { return packertest::BuildImage(); };
    const auto notAnImage = [] { return Bytes(100, 'x'); };
    const auto brokenLayout = [] {
        return UnsignedWith({{u"FDELayoutData", ZOLT::kLayoutArchiveType, Bytes{6, 1, 0}}});
    };
    const LoadCase cases[] = {
        {"layout data in the module", {withLayout, true, true}, 0, u"module", 0},
        {"no layout archive: beside", {otherArchive, true, true}, 0, u"beside", 0},
        {"no layout archive, nothing beside: above", {otherArchive, false, true}, 0, u"above", 1},
        {"layout archive of another type", {otherType, true, false}, 0, u"beside", 0},
        {"legacy package never holds it", {legacy, false, true}, 0, u"above", 1},
        {"module without package", {noPackage, true, false}, 0, u"beside", 0},
        {"module that is no executable", {notAnImage, false, true}, 0, u"above", 1},
        {"module missing", {nullptr, true, false}, 0, u"beside", 0},
        {"nothing anywhere: the module's failure",
         {otherArchive, false, false},
         HResult(0x80070490),
         u"",
         1},
        {"no executable, nothing anywhere",
         {notAnImage, false, false},
         HResult(0x800700C1),
         u"",
         1},
        {"broken layout data, nothing anywhere",
         {brokenLayout, false, false},
         ZOLT::kHrUnexpected,
         u"",
         1},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.label);
        packertest::ScratchDir dir;
        ASSERT_TRUE(packertest::MakeFolder(dir.file(u"product/bin")));
        const std::u16string module = dir.file(u"product/bin/setup.exe");
        if (c.layout.module) {
            ASSERT_TRUE(packertest::WriteBytes(module, c.layout.module()));
        }
        if (c.layout.beside) {
            ASSERT_TRUE(
                packertest::WriteBytes(dir.file(u"product/bin/install.dat"), Layout(u"beside")));
        }
        if (c.layout.above) {
            ASSERT_TRUE(packertest::WriteBytes(dir.file(u"product/install.dat"), Layout(u"above")));
        }

        CIRT_FileDataExtender data;
        EXPECT_EQ(data.Load(module), c.result);
        EXPECT_EQ(TextOf(data), c.loadedFrom);
        if (c.result != 0 && data.GetCollection() != nullptr) {
            EXPECT_EQ(data.GetCollection()->GetCount(), 0u);
        }
        const std::u16string folder = dir.file(u"product/bin/");
        EXPECT_EQ(data.GetStorageKeyName(),
                  c.storageForm == 0 ? folder + u"install.dat"
                                     : folder + u".." + packertest::kSeparator + u"install.dat");
    }
}

TEST(FileDataExtender, LoadRefusesAPathItCannotUse) {
    CIRT_FileDataExtender data;
    EXPECT_EQ(data.Load(std::u16string()), HResult(0x80070057));
    // Without a folder there is no side file to fall back to.
    EXPECT_EQ(data.Load(u"setup.exe"), HResult(0x80070002));
    EXPECT_EQ(data.GetCollection(), nullptr);
}

TEST(FileDataExtender, LoadFromStorageReadsOnlyAFile) {
    packertest::ScratchDir dir;
    ASSERT_TRUE(packertest::WriteBytes(dir.file(u"good.dat"), Layout(u"good")));
    ASSERT_TRUE(packertest::WriteBytes(dir.file(u"bad.dat"), Bytes{6, 9, 9, 9}));
    ASSERT_TRUE(packertest::MakeFolder(dir.file(u"folder.dat")));

    CIRT_FileDataExtender data;
    ASSERT_EQ(data.LoadFromStorage(dir.file(u"good.dat")), 0);
    EXPECT_EQ(TextOf(data), u"good");
    uint32_t kind = 0;
    EXPECT_TRUE(data.GetCollection()->GetUInt32(1001, kind));
    EXPECT_EQ(kind, 64u);

    EXPECT_EQ(data.LoadFromStorage(dir.file(u"folder.dat")), HResult(0x80070490));
    EXPECT_EQ(data.GetCollection()->GetCount(), 0u);
    ASSERT_EQ(data.LoadFromStorage(dir.file(u"good.dat")), 0);
    EXPECT_EQ(data.LoadFromStorage(dir.file(u"missing.dat")), HResult(0x80070490));
    EXPECT_EQ(data.GetCollection()->GetCount(), 0u);
    EXPECT_EQ(data.LoadFromStorage(dir.file(u"bad.dat")), ZOLT::kHrUnexpected);
    EXPECT_EQ(data.GetCollection()->GetCount(), 0u);
    EXPECT_EQ(data.LoadFromStorage(std::u16string()), HResult(0x80070490));
}

// The collection as its file holds it.
pxLib::RefPtr<pxLib::pxTavKeyValueCollection> FileCollection(const std::u16string& path) {
    auto collection = pxLib::pxTavKeyValueCollection::Create();
    auto stream = pxLib::MemoryStream::Create(packertest::ReadBytes(path));
    if (!collection->Load(stream.get())) return nullptr;
    return collection;
}

TEST(FileDataExtender, SaveKeepsEntry20041OutOfTheFileAndRestoresIt) {
    struct Filtered {
        const char* label;
        std::function<void(pxLib::pxTavKeyValueCollection&)> set;
        pxLib::ValueKind kind;
    };
    const Filtered cases[] = {
        {"UTF-16 text", [](auto& c) { EXPECT_TRUE(c.SetString(20041, u"secret \u00e9")); },
         pxLib::ValueKind::WString},
        {"single-byte text", [](auto& c) { EXPECT_TRUE(c.SetAnsiString(20041, "s\xe9")); },
         pxLib::ValueKind::String},
        {"empty text", [](auto& c) { EXPECT_TRUE(c.SetString(20041, u"")); },
         pxLib::ValueKind::WString},
    };
    for (const Filtered& c : cases) {
        SCOPED_TRACE(c.label);
        packertest::ScratchDir dir;
        const std::u16string path = dir.file(u"cache/install.dat");
        CIRT_FileDataExtender data;
        auto* collection = data.EnsureCollection();
        EXPECT_TRUE(collection->SetUInt32(1001, 64));
        c.set(*collection);
        std::u16string before;
        ASSERT_TRUE(collection->GetString(20041, before));

        ASSERT_EQ(data.SaveToStorage(path), 0);
        auto saved = FileCollection(path);
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->GetCount(), 1u);
        EXPECT_EQ(saved->GetValueKind(20041), pxLib::ValueKind::Empty);
        std::u16string after;
        EXPECT_EQ(collection->GetValueKind(20041), c.kind);
        ASSERT_TRUE(collection->GetString(20041, after));
        EXPECT_EQ(after, before);
        EXPECT_EQ(collection->GetCount(), 2u);
    }
}

TEST(FileDataExtender, AFailedSaveRestoresEntry20041Too) {
    packertest::ScratchDir dir;
    ASSERT_TRUE(packertest::MakeFolder(dir.file(u"taken")));
    CIRT_FileDataExtender data;
    EXPECT_TRUE(data.EnsureCollection()->SetString(20041, u"kept"));
    // Without the filtered entry the collection is empty.
    EXPECT_EQ(data.SaveToStorage(dir.file(u"install.dat")), HResult(0x800700E8));
    EXPECT_TRUE(data.GetCollection()->SetUInt32(1, 1));
    EXPECT_LT(data.SaveToStorage(dir.file(u"taken")), 0);
    std::u16string text;
    EXPECT_TRUE(data.GetCollection()->GetString(20041, text));
    EXPECT_EQ(text, u"kept");
    EXPECT_FALSE(packertest::PathExists(dir.file(u"install.dat")));
}

TEST(FileDataExtender, SaveRefusesWhatItCannotWrite) {
    packertest::ScratchDir dir;
    const std::u16string path = dir.file(u"install.dat");
    const Bytes old = Layout(u"old");
    ASSERT_TRUE(packertest::WriteBytes(path, old));

    CIRT_FileDataExtender none;
    EXPECT_EQ(none.SaveToStorage(path), HResult(0x80004003));
    CIRT_FileDataExtender empty;
    empty.EnsureCollection();
    EXPECT_EQ(empty.SaveToStorage(path), HResult(0x800700E8));
    EXPECT_EQ(empty.SaveToStorage(std::u16string()), HResult(0x80070057));
    // The file that was there is untouched, and nothing else was left behind.
    EXPECT_EQ(packertest::ReadBytes(path), old);
    EXPECT_EQ(packertest::FolderEntries(dir.path()), std::vector<std::u16string>{u"install.dat"});
}

TEST(FileDataExtender, SaveReplacesALongerOldFileWhole) {
    packertest::ScratchDir dir;
    const std::u16string path = dir.file(u"install.dat");
    auto big = packertest::LayoutCollection(64, std::u16string(5000, u'x'));
    ASSERT_TRUE(packertest::WriteBytes(path, packertest::SavedCollection(*big)));

    CIRT_FileDataExtender data;
    ASSERT_EQ(data.LoadFromStorage(path), 0);
    EXPECT_TRUE(data.GetCollection()->SetString(1002, u"short"));
    ASSERT_EQ(data.SaveToStorage(path), 0);
    const Bytes expected = packertest::SavedCollection(*data.GetCollection());
    EXPECT_EQ(packertest::ReadBytes(path), expected);
    EXPECT_EQ(packertest::FolderEntries(dir.path()), std::vector<std::u16string>{u"install.dat"});
    CIRT_FileDataExtender again;
    ASSERT_EQ(again.LoadFromStorage(path), 0);
    EXPECT_EQ(TextOf(again), u"short");
}

TEST(FileDataExtender, ReadersSeeTheOldFileOrTheNewOneWhole) {
    packertest::ScratchDir dir;
    const std::u16string path = dir.file(u"install.dat");
    auto longer = packertest::LayoutCollection(1, std::u16string(3000, u'L'));
    auto shorter = packertest::LayoutCollection(2, u"short");
    const Bytes longBytes = packertest::SavedCollection(*longer);
    const Bytes shortBytes = packertest::SavedCollection(*shorter);
    ASSERT_TRUE(packertest::WriteBytes(path, longBytes));

    std::atomic<bool> saving{true};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        while (saving) {
            const Bytes seen = packertest::ReadBytes(path);
            if (seen.empty()) continue;  // the name was being swapped just then
            ++reads;
            if (seen != longBytes && seen != shortBytes) ++torn;
        }
    });
    int saved = 0;
    std::vector<ZOLT::HRESULT> otherFailures;
    for (int i = 0; i < 200; ++i) {
        CIRT_FileDataExtender data;
        EXPECT_TRUE(data.EnsureCollection()->CopyFrom(i % 2 == 0 ? *shorter : *longer));
        const ZOLT::HRESULT hr = data.SaveToStorage(path);
        // A reader that holds the file without delete sharing blocks the swap.
        if (hr == 0)
            ++saved;
        else if (hr != HResult(0x80070005) && hr != HResult(0x80070020))
            otherFailures.push_back(hr);
    }
    saving = false;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_GT(saved, 0);
    EXPECT_TRUE(otherFailures.empty());
    const Bytes last = packertest::ReadBytes(path);
    EXPECT_TRUE(last == longBytes || last == shortBytes);
    EXPECT_EQ(packertest::FolderEntries(dir.path()), std::vector<std::u16string>{u"install.dat"});
}

}  // namespace
