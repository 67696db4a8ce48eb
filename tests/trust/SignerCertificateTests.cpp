// The signer checks on real certificates: every certificate of the test PKI
// and the platform vendor's signature on Debian's signed shim, at every level.
#include "TrustTestSupport.h"
#include "support/text/Utf.h"
#include "trust/SignerCertificate.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using pxLib::SubjectAttribute;
using pxLib::TrustLevel;
using pxLib::ValidationError;

struct Expected {
    ValidationError atLevel[5];  // levels 1 to 5
    bool systemComponent;
    bool driverVerification;
};

void ExpectChecks(PCCERT_CONTEXT certificate, const Expected& expected, const std::string& what) {
    ASSERT_NE(certificate, nullptr) << what;
    for (uint32_t level = 1; level <= 5; ++level) {
        bool system = false, driver = false;
        EXPECT_EQ(pxLib::CheckSigner(certificate, static_cast<TrustLevel>(level),
                                     pxLib::TrustMode::NoRevocationCheck, system, driver),
                  expected.atLevel[level - 1])
            << what << " at level " << level;
        EXPECT_EQ(system, expected.systemComponent) << what << " at level " << level;
        EXPECT_EQ(driver, expected.driverVerification) << what << " at level " << level;
    }
}

TEST(SignerCertificate, EachTestCertificateAtEachLevel) {
    const struct {
        const char* name;
        Expected expected;
    } cases[] = {
        {"maker", {{T, T, T, N, N}, false, false}},
        {"maker-pair12", {{T, T, T, N, N}, false, false}},
        {"maker-pair33", {{T, T, T, N, N}, false, false}},
        {"maker-pair45", {{T, T, T, N, N}, false, false}},
        {"maker-unit", {{T, T, T, N, N}, false, false}},
        {"maker-nolocality", {{T, T, N, N, N}, false, false}},
        {"maker-nounit", {{T, T, N, N, N}, false, false}},
        {"maker-pair21", {{T, T, N, N, N}, false, false}},
        {"other", {{T, T, N, N, N}, false, false}},
        {"alternate", {{T, T, N, N, T}, false, false}},
        // Without the code-signing usage the subject marker lets the maker through.
        {"nocodesign", {{T, T, T, N, N}, false, false}},
        {"nocodesign-nomarker", {{N, N, N, N, N}, false, false}},
        {"nousage", {{T, T, T, N, N}, false, false}},
        {"platform", {{T, T, N, T, N}, true, true}},
        {"platform-unit", {{T, T, N, T, N}, false, false}},
    };
    for (const auto& c : cases) {
        const UniqueCertificate certificate = LoadTestCertificate(c.name);
        ExpectChecks(certificate.get(), c.expected, c.name);
    }
}

TEST(SignerCertificate, ThePlatformVendorsSignatureOnTheShim) {
    const UniqueCertificate signer = SignerOfFile(ShimPath());
    ASSERT_TRUE(signer) << "Debian's signed shim is missing: scripts/lib/setup.sh fetches it";
    ExpectChecks(signer.get(), {{T, T, N, T, N}, false, false}, "shim");

    pxLib::SignerCertificate read(signer.get());
    std::u16string value;
    EXPECT_TRUE(read.ReadAttribute(SubjectAttribute::Organisation, value));
    EXPECT_EQ(value, u"Microsoft Corporation");
    // Its unit is not the platform's: the organisation decides.
    ASSERT_TRUE(read.ReadAttribute(SubjectAttribute::OrganisationalUnit, value));
    EXPECT_NE(value, pxLib::BuildIdentity().platformUnit);
}

TEST(SignerCertificate, WhatTheCertificateServicesGiveTheRules) {
    const UniqueCertificate maker = LoadTestCertificate("nocodesign");
    ASSERT_TRUE(maker);
    pxLib::SignerCertificate read(maker.get());

    std::vector<std::string> usages;
    EXPECT_EQ(read.ReadUsages(usages), T);
    EXPECT_EQ(usages, std::vector<std::string>{"1.3.6.1.5.5.7.3.1"});

    // One element per line, identifier and value (quoted where the platform
    // quotes it); the marker sits in the unit.
    std::u16string text;
    ASSERT_EQ(read.ReadSubjectText(text), T);
    EXPECT_EQ(text.rfind(u"2.5.4.6=US\r\n", 0), 0u) << pxLib::Utf16ToUtf8(text);
    EXPECT_NE(text.find(u"2.5.4.11="), std::u16string::npos) << pxLib::Utf16ToUtf8(text);
    EXPECT_NE(text.find(pxLib::BuildIdentity().subjectMarker), std::u16string::npos)
        << pxLib::Utf16ToUtf8(text);

    const UniqueCertificate noUsage = LoadTestCertificate("nousage");
    ASSERT_TRUE(noUsage);
    pxLib::SignerCertificate none(noUsage.get());
    EXPECT_EQ(none.ReadUsages(usages), T);
    EXPECT_TRUE(usages.empty());
}

TEST(SignerCertificate, AnAttributeWithAZeroInsideIsNotItsFirstPart) {
    // The maker's organisation "<maker name 1> Ltd" (maker name 2) with its
    // blank turned into a zero: cut at the zero it would read as maker name 1.
    const UniqueCertificate pair12 = LoadTestCertificate("maker-pair12");
    ASSERT_TRUE(pair12);
    std::string encoded(reinterpret_cast<const char*>(pair12.get()->pbCertEncoded),
                        pair12.get()->cbCertEncoded);
    const std::string makerName1 = pxLib::Utf16ToUtf8(pxLib::BuildIdentity().makerNames[0]);
    const std::string makerName2 = pxLib::Utf16ToUtf8(pxLib::BuildIdentity().makerNames[1]);
    ASSERT_EQ(makerName2.rfind(makerName1 + " ", 0), 0u) << "maker name 2 is maker name 1 and more";
    const size_t at = encoded.find(makerName2);
    ASSERT_NE(at, std::string::npos);
    encoded[at + makerName1.size()] = '\0';
    const UniqueCertificate patched(CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(encoded.data()),
        static_cast<DWORD>(encoded.size())));
    ASSERT_TRUE(patched);

    pxLib::SignerCertificate read(patched.get());
    std::u16string organisation;
    ASSERT_TRUE(read.ReadAttribute(SubjectAttribute::Organisation, organisation));
    std::u16string expected(pxLib::BuildIdentity().makerNames[1]);
    expected[pxLib::BuildIdentity().makerNames[0].size()] = u'\0';
    EXPECT_EQ(organisation, expected);
    ExpectChecks(patched.get(), {{T, T, N, N, N}, false, false}, "maker-pair12 with a zero");
}

TEST(SignerCertificate, ANullCertificateIsAnInvalidArgument) {
    bool system = true, driver = true;
    EXPECT_EQ(pxLib::CheckSigner(nullptr, TrustLevel::SignedAny,
                                 pxLib::TrustMode::NoRevocationCheck, system, driver),
              ValidationError::VT_INVALID_ARG);
    EXPECT_FALSE(system);
    EXPECT_FALSE(driver);
}

}  // namespace
}  // namespace qvdtest
