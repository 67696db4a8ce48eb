// Product versions compared as numbers part by part, never as text.
#include "job/VersionCompare.h"

#include <gtest/gtest.h>

namespace {

using qvd::job::CompareInstalledVersion;
using qvd::job::VersionOrder;

TEST(VersionCompare, ComparesDecimalPartsFromTheLeft) {
    const struct {
        const char16_t* wanted;
        const char16_t* installed;
        VersionOrder order;  // how the installed version stands
    } cases[] = {
        // Numbers, not text: "1.10" is newer than "1.9".
        {u"1.9", u"1.10", VersionOrder::Newer},
        {u"1.10", u"1.9", VersionOrder::Older},
        {u"2.0", u"10.0", VersionOrder::Newer},
        {u"1.2.3.4", u"1.2.3.4", VersionOrder::Same},
        {u"1.2.3.4", u"1.2.3.5", VersionOrder::Newer},
        {u"1.2.3.5", u"1.2.3.4", VersionOrder::Older},
        // The first differing part decides, whatever follows.
        {u"1.3.0.0", u"1.2.9.9", VersionOrder::Older},
        // Missing parts count as 0, whichever side lacks them.
        {u"1.2", u"1.2.0.0", VersionOrder::Same},
        {u"1.2.0.0", u"1.2", VersionOrder::Same},
        {u"1.2", u"1.2.0.1", VersionOrder::Newer},
        {u"1.2.0.1", u"1.2", VersionOrder::Older},
        {u"3", u"3.0", VersionOrder::Same},
        // Only four parts take part.
        {u"1.2.3.4.9", u"1.2.3.4.1", VersionOrder::Same},
        // Empty parts and empty versions are 0.
        {u"1..3", u"1.0.3", VersionOrder::Same},
        {u"", u"0.0.0.0", VersionOrder::Same},
        {u"", u"0.0.0.1", VersionOrder::Newer},
        {u"1.0", u"", VersionOrder::Older},
        // A part is read by its leading digits, as atoi reads it.
        {u"1.2b", u"1.2", VersionOrder::Same},
        {u"1.x", u"1.0", VersionOrder::Same},
        {u"1.2b.3", u"1.2.4", VersionOrder::Newer},
        // Leading zeros do not make a part smaller.
        {u"1.02", u"1.2", VersionOrder::Same},
        {u"1.010", u"1.9", VersionOrder::Older},
    };
    for (const auto& c : cases) {
        const std::u16string wanted(c.wanted), installed(c.installed);
        EXPECT_EQ(CompareInstalledVersion(wanted, installed), c.order)
            << std::string(wanted.begin(), wanted.end()) << " vs "
            << std::string(installed.begin(), installed.end());
    }
}

}  // namespace
