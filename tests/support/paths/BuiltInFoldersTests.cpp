// The built-in folder table: its order, its binary search and its private ids.
#include <gtest/gtest.h>

#include <string>

#include "support/paths/BuiltInFolders.h"
#include "support/text/Utf.h"

namespace {

using pxLib::BuiltInFolderTable;
using pxLib::FindBuiltInFolder;

std::string Utf8(std::u16string_view text) {
    return pxLib::Utf16ToUtf8(text);
}

TEST(BuiltInFolders, TheTableIsStrictlySortedWithoutRegardToCase) {
    const auto& table = BuiltInFolderTable();
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_FALSE(table[i].name.empty()) << "row " << i;
        if (i > 0) {
            EXPECT_LT(pxLib::CompareFolderNames(table[i - 1].name, table[i].name), 0)
                << Utf8(table[i - 1].name) << " / " << Utf8(table[i].name);
        }
    }
}

TEST(BuiltInFolders, CompareFolderNamesSortsUnderscoreBeforeLetters) {
    EXPECT_LT(pxLib::CompareFolderNames(u"CSIDL_PROGRAM_FILES_COMMON", u"CSIDL_PROGRAM_FILESX86"),
              0);
    EXPECT_LT(pxLib::CompareFolderNames(u"CSIDL_PROGRAM_FILESX86", u"CSIDL_PROGRAMS"), 0);
    EXPECT_EQ(pxLib::CompareFolderNames(u"csidl_system", u"CSIDL_SYSTEM"), 0);
    EXPECT_LT(pxLib::CompareFolderNames(u"CSIDL_SYSTEM", u"CSIDL_SYSTEMX86"), 0);
    EXPECT_GT(pxLib::CompareFolderNames(u"b", u"A"), 0);
}

TEST(BuiltInFolders, EveryRowIsFoundInAnyLetterCase) {
    for (const auto& row : BuiltInFolderTable()) {
        const std::u16string lower = pxLib::AsciiLower(row.name);
        std::u16string mixed(row.name);
        for (size_t i = 0; i < mixed.size(); i += 2) mixed[i] = lower[i];
        for (const std::u16string& name : {std::u16string(row.name), lower, mixed}) {
            const pxLib::BuiltInFolder* found = FindBuiltInFolder(name);
            ASSERT_NE(found, nullptr) << Utf8(name);
            EXPECT_EQ(found, &row) << Utf8(name);
        }
    }
}

TEST(BuiltInFolders, OtherNamesAreNotFound) {
    for (const char16_t* name :
         {u"", u"A", u"ZZZ", u"CSIDL_", u"CSIDL_SYSTEMX", u"CSIDL_WINDOWS_", u"CSIDL_WINDOWSX",
          u" CSIDL_WINDOWS", u"COMMON_SILO_DAT", u"LOCAL_SILO_DATA2", u"INSTALLDIR",
          u"APPDATAEXTENSION", u"CSIDL_PROGRAM_FILESX32"}) {
        EXPECT_EQ(FindBuiltInFolder(name), nullptr) << Utf8(name);
    }
}

TEST(BuiltInFolders, ThePrivateRowsCarryTheirIds) {
    const struct {
        const char16_t* name;
        uint32_t id;
    } rows[] = {
        {u"COMMON_SILO_DATA", 0xF0000000},
        {u"LOCAL_SILO_DATA", 0xF0000001},
        {u"CSIDL_PROGRAM_FILESX64", 0xF0000002},
        {u"CSIDL_PROGRAM_FILES_COMMONX64", 0xF0000003},
    };
    for (const auto& row : rows) {
        const pxLib::BuiltInFolder* found = FindBuiltInFolder(row.name);
        ASSERT_NE(found, nullptr) << Utf8(row.name);
        EXPECT_EQ(found->id, row.id) << Utf8(row.name);
    }
    size_t privateRows = 0;
    for (const auto& row : BuiltInFolderTable()) privateRows += (row.id & 0xF0000000) != 0;
    EXPECT_EQ(privateRows, 4u);
}

}  // namespace
