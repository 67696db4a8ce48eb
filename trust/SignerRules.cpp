#include "trust/SignerRules.h"

#include "support/logging/Trace.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x6B1F3C52, 0x0E47, 0x4D93, {0x8A, 0x21, 0x5C, 0x7E, 0x90, 0x3B, 0xD4, 0x18}}};
enum class TraceEvent : uint16_t {
    InvalidArguments = 1,
    NoCodeSigningUsage,
    NoSubjectMarker,
    MarkerCheckFailed,
    AttributeAbsent,
    MakerUnit,
    MakerRefused,
    PlatformUnit,
    PlatformRefused,
    AltPublisherRefused,
};

constexpr ValidationError kTrusted = ValidationError::VT_TRUSTED;
constexpr ValidationError kNotTrusted = ValidationError::VT_NOT_TRUSTED;

// Reads the attributes in the order given; the first absent one ends the check.
template <size_t N>
bool ReadAll(ISignerCertificate& certificate, const SubjectAttribute (&which)[N],
             std::u16string (&values)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (!certificate.ReadAttribute(which[i], values[i])) {
            Trace(kTraceSource, TraceLevel::Information, TraceEvent::AttributeAbsent,
                  static_cast<uint32_t>(which[i]));
            return false;
        }
    }
    return true;
}

bool IsOneOf(std::u16string_view value, std::u16string_view a, std::u16string_view b) {
    return value == a || value == b;
}

}  // namespace

bool AttributeValueOf(const char16_t* buffer, size_t capacity, size_t count,
                      std::u16string& value) {
    value.clear();
    if (count <= 1 || count > capacity) return false;
    value.assign(buffer, count - 1);
    return true;
}

const char* SubjectAttributeOid(SubjectAttribute attribute) {
    switch (attribute) {
        case SubjectAttribute::CommonName:
            return "2.5.4.3";
        case SubjectAttribute::OrganisationalUnit:
            return "2.5.4.11";
        case SubjectAttribute::Organisation:
            return "2.5.4.10";
        case SubjectAttribute::Locality:
            return "2.5.4.7";
        case SubjectAttribute::StateOrProvince:
            return "2.5.4.8";
        case SubjectAttribute::Country:
            return "2.5.4.6";
    }
    return "";
}

ValidationError UsageCheck(ISignerCertificate& certificate, bool& systemComponent,
                           bool& driverVerification) {
    systemComponent = false;
    driverVerification = false;
    std::vector<std::string> usages;
    const ValidationError read = certificate.ReadUsages(usages);
    if (read != kTrusted) return read;
    bool codeSigning = false;
    for (const std::string& usage : usages) {
        if (usage == kCodeSigningUsage) {
            codeSigning = true;
        } else if (usage == kSystemComponentUsage) {
            systemComponent = true;
        } else if (usage == kDriverVerificationUsage) {
            driverVerification = true;
        }
    }
    if (codeSigning) return kTrusted;
    systemComponent = false;
    driverVerification = false;
    return kNotTrusted;
}

ValidationError SubjectMarkerCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    std::u16string text;
    const ValidationError read = certificate.ReadSubjectText(text);
    if (read != kTrusted) return read;
    // An empty marker would be found in every subject.
    if (!identity.subjectMarker.empty() &&
        text.find(identity.subjectMarker) != std::u16string::npos)
        return kTrusted;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoSubjectMarker);
    return kNotTrusted;
}

ValidationError MakerCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    std::u16string name[2];
    if (!ReadAll(certificate, {SubjectAttribute::CommonName, SubjectAttribute::OrganisationalUnit},
                 name))
        return kNotTrusted;
    const std::u16string& commonName = name[0];
    if (name[1] == identity.makerUnit) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::MakerUnit);
        return kTrusted;
    }
    // Locality, state and country must be there; their values do not matter.
    std::u16string rest[4];
    if (!ReadAll(certificate,
                 {SubjectAttribute::Organisation, SubjectAttribute::Locality,
                  SubjectAttribute::StateOrProvince, SubjectAttribute::Country},
                 rest))
        return kNotTrusted;
    const std::u16string& organisation = rest[0];
    const auto& maker = identity.makerNames;
    const bool accepted =
        (commonName == maker[0] && (organisation == maker[0] || organisation == maker[1])) ||
        (commonName == maker[2] && organisation == maker[2]) ||
        (IsOneOf(commonName, maker[3], maker[4]) && IsOneOf(organisation, maker[3], maker[4]));
    if (accepted) return kTrusted;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::MakerRefused, commonName,
          organisation);
    return kNotTrusted;
}

ValidationError PlatformCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    bool unitIsOrganisation = false;
    std::u16string unit;
    if (certificate.ReadAttribute(SubjectAttribute::OrganisationalUnit, unit)) {
        unitIsOrganisation = unit == identity.platformOrganisation;
        if (unit == identity.platformUnit) {
            Trace(kTraceSource, TraceLevel::Information, TraceEvent::PlatformUnit);
            return kTrusted;
        }
    }
    std::u16string organisation[1];
    if (!ReadAll(certificate, {SubjectAttribute::Organisation}, organisation)) return kNotTrusted;
    if (organisation[0] == identity.platformOrganisation || unitIsOrganisation) return kTrusted;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::PlatformRefused, organisation[0]);
    return kNotTrusted;
}

ValidationError AltPublisherCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    std::u16string name[5];
    if (!ReadAll(certificate,
                 {SubjectAttribute::CommonName, SubjectAttribute::Organisation,
                  SubjectAttribute::Locality, SubjectAttribute::StateOrProvince,
                  SubjectAttribute::Country},
                 name))
        return kNotTrusted;
    if (name[0] == identity.altPublisherName && name[1] == identity.altPublisherName)
        return kTrusted;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::AltPublisherRefused, name[0], name[1]);
    return kNotTrusted;
}

ValidationError SignerChecks(ISignerCertificate* certificate, TrustLevel level, TrustMode mode,
                             const TrustIdentity& identity, bool& systemComponent,
                             bool& driverVerification) {
    if (certificate == nullptr || !IsValidLevel(level) || static_cast<uint32_t>(mode) == 0) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidArguments, ToUInt(level),
              static_cast<uint32_t>(mode));
        return ValidationError::VT_INVALID_ARG;
    }
    if (UsageCheck(*certificate, systemComponent, driverVerification) != kTrusted) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoCodeSigningUsage);
        const ValidationError marker = SubjectMarkerCheck(*certificate, identity);
        if (marker != kTrusted) {
            Trace(kTraceSource, TraceLevel::Information, TraceEvent::MarkerCheckFailed,
                  ToUInt(marker));
            return marker;
        }
    }
    // Both publisher checks run; only the one the level names counts.
    ValidationError result = kTrusted;
    const ValidationError maker = MakerCheck(*certificate, identity);
    if (maker != kTrusted && level == TrustLevel::SignedByMaker) result = maker;
    const ValidationError platform = PlatformCheck(*certificate, identity);
    if (platform != kTrusted && level == TrustLevel::SignedByPlatform) result = platform;
    if (level == TrustLevel::SignedByAltPublisher) return AltPublisherCheck(*certificate, identity);
    return result;
}

}  // namespace pxLib
