// The signer checks: is the signer's certificate usable for code signing, and
// is its subject the publisher the level names. Portable: the certificate is
// read through ISignerCertificate (the platform's certificate functions in
// SignerCertificate.h, fakes in tests and the fuzz target).
#pragma once

#include "trust/TrustIdentity.h"
#include "trust/TrustTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace pxLib {

enum class SubjectAttribute : uint8_t {
    CommonName,
    OrganisationalUnit,
    Organisation,
    Locality,
    StateOrProvince,
    Country,
};

// "2.5.4.3" and so on.
const char* SubjectAttributeOid(SubjectAttribute attribute);

// An attribute's value as the platform wrote it into a buffer of capacity
// units, count being the units it reported, terminating zero included: all of
// them, so that a value with a zero inside is not taken for its first part.
// False (value empty) when the attribute is absent or empty, or count does
// not fit the buffer.
[[nodiscard]] bool AttributeValueOf(const char16_t* buffer, size_t capacity, size_t count,
                                    std::u16string& value);

constexpr std::string_view kCodeSigningUsage = "1.3.6.1.5.5.7.3.3";
constexpr std::string_view kSystemComponentUsage = "1.3.6.1.4.1.311.10.3.6";
constexpr std::string_view kDriverVerificationUsage = "1.3.6.1.4.1.311.10.3.5";

class ISignerCertificate {
public:
    virtual ~ISignerCertificate() = default;
    // The enhanced key usage identifiers (extension and property together).
    // VT_TRUSTED with the list; VT_NO_SIGNATURE_INFO when its size cannot be
    // asked, VT_INTERNAL_ERROR when it cannot be held, VT_NOT_TRUSTED when it
    // cannot be read.
    [[nodiscard]] virtual ValidationError ReadUsages(std::vector<std::string>& usages) = 0;
    // The subject as text, one "identifier=value" element per line.
    // VT_TRUSTED, VT_NO_SIGNATURE_INFO or VT_INTERNAL_ERROR.
    [[nodiscard]] virtual ValidationError ReadSubjectText(std::u16string& text) = 0;
    // One attribute of the subject; false when it is absent or empty.
    [[nodiscard]] virtual bool ReadAttribute(SubjectAttribute attribute, std::u16string& value) = 0;
};

// The code-signing usage, and the two usages the caller is told about (both
// cleared unless the certificate is usable for code signing).
[[nodiscard]] ValidationError UsageCheck(ISignerCertificate& certificate, bool& systemComponent,
                                         bool& driverVerification);
// The fallback when the usage check fails: the subject marker in the subject.
[[nodiscard]] ValidationError SubjectMarkerCheck(ISignerCertificate& certificate,
                                                 const TrustIdentity& identity);
[[nodiscard]] ValidationError MakerCheck(ISignerCertificate& certificate,
                                         const TrustIdentity& identity);
[[nodiscard]] ValidationError PlatformCheck(ISignerCertificate& certificate,
                                            const TrustIdentity& identity);
[[nodiscard]] ValidationError AltPublisherCheck(ISignerCertificate& certificate,
                                                const TrustIdentity& identity);

// All of it for one level. certificate may be null (VT_INVALID_ARG).
[[nodiscard]] ValidationError SignerChecks(ISignerCertificate* certificate, TrustLevel level,
                                           TrustMode mode, const TrustIdentity& identity,
                                           bool& systemComponent, bool& driverVerification);

}  // namespace pxLib
