// The signer checks as rules over a certificate's usages and subject, with an
// identity of the test's own so that nothing passes by the build's names.
#include "trust/SignerRules.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace {

using pxLib::SubjectAttribute;
using pxLib::TrustIdentity;
using pxLib::TrustLevel;
using pxLib::TrustMode;
using pxLib::ValidationError;

constexpr ValidationError T = ValidationError::VT_TRUSTED;
constexpr ValidationError N = ValidationError::VT_NOT_TRUSTED;

const TrustIdentity kIdentity{u"MARK",        u"MakerUnit",    {u"M1", u"M2", u"M3", u"M4", u"M5"},
                              u"PlatformOrg", u"PlatformUnit", u"AltPub"};

const std::string kCodeSigning(pxLib::kCodeSigningUsage);
const std::string kSystemComponent(pxLib::kSystemComponentUsage);
const std::string kDriver(pxLib::kDriverVerificationUsage);

// A certificate as the test describes it; records the attributes read.
class FakeCertificate final : public pxLib::ISignerCertificate {
public:
    ValidationError ReadUsages(std::vector<std::string>& out) override {
        out = usages;
        return usagesRead;
    }
    ValidationError ReadSubjectText(std::u16string& text) override {
        text = subjectText;
        return subjectRead;
    }
    bool ReadAttribute(SubjectAttribute attribute, std::u16string& value) override {
        reads.push_back(attribute);
        auto found = attributes.find(attribute);
        if (found == attributes.end() || found->second.empty()) return false;
        value = found->second;
        return true;
    }

    ValidationError usagesRead = T;
    std::vector<std::string> usages{kCodeSigning};
    ValidationError subjectRead = T;
    std::u16string subjectText;
    std::map<SubjectAttribute, std::u16string> attributes;
    std::vector<SubjectAttribute> reads;
};

// A subject with the place attributes; any of them may be left out.
struct Subject {
    std::optional<std::u16string> cn, o, ou;
    bool locality = true, state = true, country = true;
};

FakeCertificate Certificate(const Subject& s) {
    FakeCertificate c;
    if (s.cn) c.attributes[SubjectAttribute::CommonName] = *s.cn;
    if (s.o) c.attributes[SubjectAttribute::Organisation] = *s.o;
    if (s.ou) c.attributes[SubjectAttribute::OrganisationalUnit] = *s.ou;
    if (s.locality) c.attributes[SubjectAttribute::Locality] = u"City";
    if (s.state) c.attributes[SubjectAttribute::StateOrProvince] = u"State";
    if (s.country) c.attributes[SubjectAttribute::Country] = u"US";
    c.subjectText = u"2.5.4.3=" + s.cn.value_or(u"") + u"\r\n2.5.4.10=" + s.o.value_or(u"") +
                    u"\r\n2.5.4.11=" + s.ou.value_or(u"");
    return c;
}

ValidationError Check(FakeCertificate c, TrustLevel level, bool* system = nullptr,
                      bool* driver = nullptr) {
    bool s = true, d = true;
    const ValidationError r =
        pxLib::SignerChecks(&c, level, TrustMode::NoRevocationCheck, kIdentity, s, d);
    if (system) *system = s;
    if (driver) *driver = d;
    return r;
}

TEST(SignerRules, EachSubjectAtEachLevel) {
    const struct {
        const char* what;
        Subject subject;
        ValidationError atLevel[5];  // levels 1 to 5
    } cases[] = {
        {"maker pair (1,1)", {u"M1", u"M1", u"Install"}, {T, T, T, N, N}},
        {"maker pair (1,2)", {u"M1", u"M2", u"Install"}, {T, T, T, N, N}},
        {"maker pair (2,1)", {u"M2", u"M1", u"Install"}, {T, T, N, N, N}},
        {"maker pair (3,3)", {u"M3", u"M3", u"Install"}, {T, T, T, N, N}},
        {"maker pair (3,1)", {u"M3", u"M1", u"Install"}, {T, T, N, N, N}},
        {"maker pair (4,5)", {u"M4", u"M5", u"Install"}, {T, T, T, N, N}},
        {"maker pair (5,4)", {u"M5", u"M4", u"Install"}, {T, T, T, N, N}},
        {"maker pair (4,4)", {u"M4", u"M4", u"Install"}, {T, T, T, N, N}},
        {"maker pair (4,1)", {u"M4", u"M1", u"Install"}, {T, T, N, N, N}},
        {"maker pair without a unit", {u"M1", u"M1", std::nullopt}, {T, T, N, N, N}},
        {"maker pair without locality", {u"M1", u"M1", u"Install", false}, {T, T, N, N, N}},
        {"maker pair without state", {u"M1", u"M1", u"Install", true, false}, {T, T, N, N, N}},
        {"maker pair without country",
         {u"M1", u"M1", u"Install", true, true, false},
         {T, T, N, N, N}},
        {"maker unit, any organisation, no place",
         {u"Someone", u"Elsewhere", u"MakerUnit", false, false, false},
         {T, T, T, N, N}},
        {"maker unit without a common name",
         {std::nullopt, u"Elsewhere", u"MakerUnit"},
         {T, T, N, N, N}},
        {"maker names in other case", {u"m1", u"m1", u"Install"}, {T, T, N, N, N}},
        {"platform organisation", {u"Any", u"PlatformOrg", std::nullopt}, {T, T, N, T, N}},
        {"platform unit, other organisation", {u"Any", u"Other", u"PlatformUnit"}, {T, T, N, T, N}},
        {"platform unit, no organisation",
         {u"Any", std::nullopt, u"PlatformUnit"},
         {T, T, N, T, N}},
        {"platform organisation as unit", {u"Any", u"Other", u"PlatformOrg"}, {T, T, N, T, N}},
        {"platform organisation as unit, no organisation",
         {u"Any", std::nullopt, u"PlatformOrg"},
         {T, T, N, N, N}},
        {"alternate publisher", {u"AltPub", u"AltPub", std::nullopt}, {T, T, N, N, T}},
        {"alternate name as common name only",
         {u"AltPub", u"Other", std::nullopt},
         {T, T, N, N, N}},
        {"alternate publisher without country",
         {u"AltPub", u"AltPub", {}, true, true, false},
         {T, T, N, N, N}},
        {"another publisher", {u"Other", u"Other", u"Install"}, {T, T, N, N, N}},
    };
    for (const auto& c : cases) {
        for (uint32_t level = 1; level <= 5; ++level) {
            EXPECT_EQ(Check(Certificate(c.subject), static_cast<TrustLevel>(level)),
                      c.atLevel[level - 1])
                << c.what << " at level " << level;
        }
    }
}

TEST(SignerRules, WithoutCodeSigningTheSubjectMarkerDecides) {
    Subject maker{u"M1", u"M1", u"Install"};
    FakeCertificate marked = Certificate(maker);
    marked.usages = {"1.3.6.1.5.5.7.3.1"};
    marked.subjectText += u"\r\n2.5.4.11=the MARK here";
    FakeCertificate unmarked = Certificate(maker);
    unmarked.usages = {};
    FakeCertificate markedInOtherCase = marked;
    markedInOtherCase.subjectText = u"2.5.4.3=mark";

    for (uint32_t level = 1; level <= 5; ++level) {
        const auto l = static_cast<TrustLevel>(level);
        EXPECT_EQ(Check(unmarked, l), N) << level;
        EXPECT_EQ(Check(markedInOtherCase, l), N) << level;
    }
    // With the marker, the level's publisher check judges as usual.
    bool system = true, driver = true;
    EXPECT_EQ(Check(marked, TrustLevel::SignedAny, &system, &driver), T);
    EXPECT_FALSE(system);
    EXPECT_FALSE(driver);
    EXPECT_EQ(Check(marked, TrustLevel::SignedByMaker), T);
    EXPECT_EQ(Check(marked, TrustLevel::SignedByPlatform), N);

    // Usages that cannot be read fall back to the marker too; a subject that
    // cannot be read gives its own failure.
    for (ValidationError usagesFailure :
         {ValidationError::VT_NO_SIGNATURE_INFO, ValidationError::VT_INTERNAL_ERROR, N}) {
        FakeCertificate c = marked;
        c.usagesRead = usagesFailure;
        EXPECT_EQ(Check(c, TrustLevel::SignedByMaker), T) << static_cast<int>(usagesFailure);
        c.subjectRead = ValidationError::VT_NO_SIGNATURE_INFO;
        EXPECT_EQ(Check(c, TrustLevel::SignedAny), ValidationError::VT_NO_SIGNATURE_INFO);
    }

    // An identity without a marker lets no subject through this way.
    TrustIdentity noMarker = kIdentity;
    noMarker.subjectMarker = u"";
    bool s = false, d = false;
    EXPECT_EQ(pxLib::SignerChecks(&marked, TrustLevel::SignedAny, TrustMode::NoRevocationCheck,
                                  noMarker, s, d),
              N);
}

TEST(SignerRules, TheUsagesSetTheTwoFlagsOnlyWithCodeSigning) {
    const struct {
        std::vector<std::string> usages;
        bool system, driver;
    } cases[] = {
        {{kCodeSigning}, false, false},
        {{kCodeSigning, kSystemComponent}, true, false},
        {{kDriver, kCodeSigning}, false, true},
        {{kSystemComponent, kDriver, kCodeSigning, "1.2.3"}, true, true},
    };
    for (const auto& c : cases) {
        FakeCertificate cert = Certificate({u"Any", u"PlatformOrg", std::nullopt});
        cert.usages = c.usages;
        bool system = !c.system, driver = !c.driver;
        EXPECT_EQ(Check(cert, TrustLevel::SignedByPlatform, &system, &driver), T);
        EXPECT_EQ(system, c.system);
        EXPECT_EQ(driver, c.driver);
    }
    // Without code signing both stay clear, even when listed.
    FakeCertificate cert = Certificate({u"Any", u"PlatformOrg", std::nullopt});
    cert.usages = {kSystemComponent, kDriver};
    cert.subjectText = u"2.5.4.10=MARK";
    bool system = true, driver = true;
    EXPECT_EQ(Check(cert, TrustLevel::SignedByPlatform, &system, &driver), T);
    EXPECT_FALSE(system);
    EXPECT_FALSE(driver);
}

TEST(SignerRules, InvalidArgumentsAreRefusedBeforeAnythingIsRead) {
    bool s = true, d = true;
    EXPECT_EQ(pxLib::SignerChecks(nullptr, TrustLevel::SignedAny, TrustMode::NoRevocationCheck,
                                  kIdentity, s, d),
              ValidationError::VT_INVALID_ARG);
    FakeCertificate c = Certificate({u"M1", u"M1", u"Install"});
    EXPECT_EQ(pxLib::SignerChecks(&c, static_cast<TrustLevel>(0), TrustMode::NoRevocationCheck,
                                  kIdentity, s, d),
              ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(
        pxLib::SignerChecks(&c, TrustLevel::SignedAny, static_cast<TrustMode>(0), kIdentity, s, d),
        ValidationError::VT_INVALID_ARG);
    EXPECT_TRUE(c.reads.empty());
}

TEST(SignerRules, TheMakerCheckReadsInItsOrderAndStopsAtTheFirstGap) {
    FakeCertificate c = Certificate({u"M1", u"M1", u"Install", true, false});
    EXPECT_EQ(pxLib::MakerCheck(c, kIdentity), N);
    const std::vector<SubjectAttribute> expected = {
        SubjectAttribute::CommonName, SubjectAttribute::OrganisationalUnit,
        SubjectAttribute::Organisation, SubjectAttribute::Locality,
        SubjectAttribute::StateOrProvince};
    EXPECT_EQ(c.reads, expected);

    FakeCertificate unit = Certificate({u"X", std::nullopt, u"MakerUnit", false, false, false});
    EXPECT_EQ(pxLib::MakerCheck(unit, kIdentity), T);
    EXPECT_EQ(unit.reads.size(), 2u);
}

TEST(SignerRules, AnAttributeValueIsAllTheUnitsThePlatformReturned) {
    // The maker's name, a zero, then more: a value that only truncation
    // would turn into the maker's name.
    const std::u16string maker(pxLib::BuildIdentity().makerNames[0]);
    const std::u16string withZero = maker + u'\0' + u"x";
    const std::u16string returned = withZero + u'\0';  // as written, terminator included
    const char16_t* embedded = returned.data();
    const size_t embeddedCount = returned.size();
    const char16_t plain[8] = u"Halvex";
    const struct {
        const char* what;
        const char16_t* buffer;
        size_t capacity, count;
        bool present;
        std::u16string value;
    } rows[] = {
        {"a zero inside", embedded, embeddedCount, embeddedCount, true, withZero},
        {"a plain value", plain, 8, 7, true, u"Halvex"},
        {"absent", plain, 8, 0, false, u""},
        {"empty", plain, 8, 1, false, u""},
        {"more than the buffer", plain, 8, 9, false, u""},
    };
    for (const auto& row : rows) {
        std::u16string value = u"stale";
        EXPECT_EQ(pxLib::AttributeValueOf(row.buffer, row.capacity, row.count, value), row.present)
            << row.what;
        EXPECT_EQ(value, row.value) << row.what;
    }
    std::u16string value;
    ASSERT_TRUE(pxLib::AttributeValueOf(embedded, embeddedCount, embeddedCount, value));
    EXPECT_NE(value, maker);
}

TEST(SignerRules, AttributeIdentifiers) {
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::CommonName), "2.5.4.3");
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::OrganisationalUnit), "2.5.4.11");
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::Organisation), "2.5.4.10");
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::Locality), "2.5.4.7");
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::StateOrProvince), "2.5.4.8");
    EXPECT_STREQ(pxLib::SubjectAttributeOid(SubjectAttribute::Country), "2.5.4.6");
}

}  // namespace
