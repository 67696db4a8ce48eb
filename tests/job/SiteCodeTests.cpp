// The site code: CRC-32 vectors, the hashed text and the order of the ids.
#include "JobOutcome.h"
#include "job/SiteCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qvd::job::Crc32;
using qvd::job::JobReader;
using qvd::job::SiteCode;
using qvdtest::Text;

TEST(Crc32, MatchesTheKnownVectors) {
    const struct {
        std::string data;
        uint32_t crc;
    } vectors[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string("\0\0\0\0", 4), 0x2144DF1Cu},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(v.data.data()), v.data.size()), v.crc)
            << v.data;
    }
}

TEST(SiteCode, HashesTheUnitIdFirstInUtf16) {
    // Expected codes from an independent CRC-32 of "ZOLT: <unit> <partner> :ZOLT" in UTF-16LE.
    const struct {
        const char16_t* partnerUnitId;
        const char16_t* partnerId;
        const char* code;
    } cases[] = {
        {u"2", u"1", "76edc60f"},  // CRC 0x6edc60f4
        {u"1", u"2", "7f83b984"},  // CRC 0xf83b984d
        {u"0", u"0", "7f607ea0"}, {u"4294967295", u"123456", "7b183034"},
        {u"1", u"4", "700f9d3f"},  // CRC 0x00f9d3fb: its leading zeros stay
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(SiteCode(c.partnerUnitId, c.partnerId)), c.code)
            << Text(c.partnerUnitId) << " " << Text(c.partnerId);
    }
}

TEST(SiteCode, TheJobsCodeTakesPartnerUnitIdFirst) {
    const struct {
        const char* job;
        std::string expected;
    } cases[] = {
        {R"({"distribution": {"PartnerID": 1, "PartnerUnitID": 2}})", "=76edc60f"},
        {R"({"distribution": {"PartnerUnitID": 1, "PartnerID": 2}})", "=7f83b984"},
        {R"({"distribution": {"PartnerID": 4, "PartnerUnitID": 1}})", "=700f9d3f"},
        {R"({"distribution": {"PartnerID": 1}})", "absent"},
        {R"({"distribution": {"PartnerUnitID": 2}})", "absent"},
        {R"({"product_data": {}})", "absent"},
    };
    for (const auto& c : cases) {
        const Json::Value job = qvdtest::JobFromUtf8(c.job);
        std::u16string code;
        EXPECT_EQ(qvdtest::Outcome([&] {
                      return qvdtest::Present(qvd::job::JobSiteCode(JobReader{job}, code), code);
                  }),
                  c.expected)
            << c.job;
    }
}

}  // namespace
