// The path normaliser's text rules with a table of drive devices.
#include "trust/PathText.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class TableDrives final : public pxLib::IDriveDevices {
public:
    bool FirstTarget(char16_t letter, std::u16string& target) override {
        asked += letter;
        auto found = targets.find(letter);
        if (found == targets.end()) return false;
        target = found->second;
        return true;
    }
    std::map<char16_t, std::u16string> targets;
    std::u16string asked;
};

TEST(PathText, EachFormBecomesAWin32Path) {
    TableDrives drives;
    drives.targets = {{u'C', u"\\Device\\HarddiskVolume2"},
                      {u'D', u"\\Device\\CdRom0"},
                      {u'E', u"\\Device\\HarddiskVolume22"}};
    const struct {
        std::u16string in, out;
    } cases[] = {
        {u"C:\\x\\setup.exe", u"C:\\x\\setup.exe"},
        {u"\"C:\\x\\setup.exe\"", u"C:\\x\\setup.exe"},
        {u"\"\"C:\\x\\setup.exe\"", u"C:\\x\\setup.exe"},
        {u"\"\"", u""},
        {u"\\??\\C:\\x.exe", u"C:\\x.exe"},
        {u"\"\\??\\C:\\x.exe\"", u"C:\\x.exe"},
        {u"\\??\\UNC\\server\\share\\f.exe", u"\\\\server\\share\\f.exe"},
        {u"\\\\?\\C:\\x.exe", u"\\\\?\\C:\\x.exe"},
        {u"\\??x", u"\\??x"},
        {u"\\Device\\HarddiskVolume2\\x\\setup.exe", u"C:\\x\\setup.exe"},
        {u"\\Device\\harddiskvolume2\\x", u"C:\\x"},
        {u"\\Device\\HarddiskVolume2", u"C:"},
        {u"\\Device\\HarddiskVolume22\\y", u"E:\\y"},
        {u"\\Device\\CdRom0\\autorun.exe", u"D:\\autorun.exe"},
        {u"\\Device\\Mup\\server\\share\\f.exe", u"\\\\server\\share\\f.exe"},
        {u"\\Device\\MUP\\server\\share\\f.exe", u"\\\\server\\share\\f.exe"},
        {u"\\Device\\LanmanRedirector\\server\\share\\f.exe", u"\\\\server\\share\\f.exe"},
        // Only the exact prefixes are device paths.
        {u"\\device\\HarddiskVolume2\\x", u"\\device\\HarddiskVolume2\\x"},
        {u"\\Devices\\x", u"\\Devices\\x"},
    };
    for (const auto& c : cases) {
        std::u16string out = u"untouched";
        EXPECT_TRUE(pxLib::ApplyPathTextRules(c.in, drives, out));
        EXPECT_EQ(out, c.out);
    }
}

TEST(PathText, ADeviceNoDriveMapsToFailsAfterAskingEveryLetter) {
    TableDrives drives;
    drives.targets = {{u'C', u"\\Device\\HarddiskVolume2"}};
    std::u16string out;
    EXPECT_FALSE(pxLib::ApplyPathTextRules(u"\\Device\\HarddiskVolume9\\x", drives, out));
    EXPECT_EQ(drives.asked, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

TEST(PathText, TheFirstDriveOfADeviceWins) {
    TableDrives drives;
    drives.targets = {{u'Z', u"\\Device\\Shared"}, {u'G', u"\\Device\\Shared"}};
    std::u16string out;
    ASSERT_TRUE(pxLib::ApplyPathTextRules(u"\\Device\\Shared\\f", drives, out));
    EXPECT_EQ(out, u"G:\\f");
    EXPECT_EQ(drives.asked, u"ABCDEFG");
}

}  // namespace
