// Removing the installer's quiet and tray switches again.
#include "launch/InstallerOptions.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

namespace {

TEST(StripInstallerOptions, DropsTheOptionWordsAndKeepsEverythingElseAsItStood) {
    const struct {
        std::u16string in, out;
    } cases[] = {
        {u"/notray /qb- /showerrors 2 /log x.txt", u"/qb- /log x.txt"},
        {u"-QN /s", u"/s"},
        {u"/q /qr /qb /quiet", u"/quiet"},
        {u"/NoReboot \"C:\\a b\\file.txt\" -Path=\"x y\"", u"\"C:\\a b\\file.txt\" -Path=\"x y\""},
        // The argument of showerrors is the next plain word, even after other switches.
        {u"/showerrors /qn 2 /x", u"/x"},
        {u"/showerrors", u""},
        {u"  /a   /b  ", u"/a /b"},
        {u"/WIN10_UPGRADE \"v 2\" /qn", u"/WIN10_UPGRADE \"v 2\""},
    };
    for (const auto& c : cases) {
        std::u16string out = u"untouched";
        ASSERT_TRUE(qvd::launch::StripInstallerOptions(c.in, out)) << pxLib::Utf16ToUtf8(c.in);
        EXPECT_EQ(pxLib::Utf16ToUtf8(out), pxLib::Utf16ToUtf8(c.out));
    }
}

TEST(StripInstallerOptions, LeavesTheOutputAloneWhenTheLineCannotBeSplit) {
    for (const std::u16string& in :
         {std::u16string(u""), std::u16string(u"/a \"unclosed"), std::u16string(u"/a - /b")}) {
        std::u16string out = u"untouched";
        EXPECT_FALSE(qvd::launch::StripInstallerOptions(in, out));
        EXPECT_EQ(out, u"untouched");
    }
}

}  // namespace
