#include "trust/SignerRules.h"

#include "support/logging/Trace.h"
#include "trust/SignerRuleReport.h"

#include <atomic>

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

std::atomic<ISignerRuleObserver*> g_observer{nullptr};

void Report(SignerRule rule, bool accepted, const std::u16string& reason) {
    if (ISignerRuleObserver* observer = g_observer.load())
        observer->RuleJudged(rule, accepted, reason);
}

std::u16string Quoted(std::u16string_view text) {
    return u"'" + std::u16string(text) + u"'";
}

// The attribute a check found absent, for the report.
std::u16string AbsentReason(const SubjectAttribute* which, const std::u16string* values,
                            size_t count, const char16_t* needed) {
    for (size_t i = 0; i < count; ++i) {
        if (!values[i].empty()) continue;
        static const char16_t* const names[] = {u"common name",       u"organisational unit",
                                                u"organisation",      u"locality",
                                                u"state or province", u"country"};
        return u"the subject has no " + std::u16string(names[static_cast<size_t>(which[i])]) +
               u"; " + needed;
    }
    return needed;
}

// One accepted pair of common name and organisation: each must be one of two
// maker names (the same one twice where only one is accepted).
struct MakerPair {
    SignerRule rule;
    size_t commonNames[2];
    size_t organisations[2];
};
constexpr MakerPair kMakerPairs[] = {
    {SignerRule::MakerPair11, {0, 0}, {0, 0}},
    {SignerRule::MakerPair12, {0, 0}, {1, 1}},
    {SignerRule::MakerPair33, {2, 2}, {2, 2}},
    {SignerRule::MakerMix45, {3, 4}, {3, 4}},
};

bool IsOneOf(std::u16string_view value, const TrustIdentity& identity, const size_t (&names)[2]) {
    return value == identity.makerNames[names[0]] || value == identity.makerNames[names[1]];
}

std::u16string Names(const TrustIdentity& identity, const size_t (&names)[2]) {
    const std::u16string first = Quoted(identity.makerNames[names[0]]);
    return names[0] == names[1] ? first : first + u" or " + Quoted(identity.makerNames[names[1]]);
}

std::u16string PairReason(const MakerPair& pair, const TrustIdentity& identity,
                          std::u16string_view commonName, std::u16string_view organisation) {
    const bool nameMatches = IsOneOf(commonName, identity, pair.commonNames);
    const bool organisationMatches = IsOneOf(organisation, identity, pair.organisations);
    const std::u16string name = u"common name is " + Quoted(commonName);
    const std::u16string org = u"organisation is " + Quoted(organisation);
    if (nameMatches && organisationMatches) return name + u", " + org;
    if (nameMatches)
        return name + u", organisation must then be " + Names(identity, pair.organisations);
    if (organisationMatches)
        return org + u", common name must then be " + Names(identity, pair.commonNames);
    return name + u", not " + Names(identity, pair.commonNames) + u"; " + org + u", not " +
           Names(identity, pair.organisations);
}

}  // namespace

bool AttributeValueOf(const char16_t* buffer, size_t capacity, size_t count,
                      std::u16string& value) {
    value.clear();
    if (count <= 1 || count > capacity) return false;
    value.assign(buffer, count - 1);
    return true;
}

void SetSignerRuleObserver(ISignerRuleObserver* observer) {
    g_observer.store(observer);
}

ISignerRuleObserver* SignerRuleObserver() {
    return g_observer.load();
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
    if (g_observer.load()) {
        std::u16string listed;
        for (const std::string& usage : usages)
            listed += (listed.empty() ? u"" : u", ") + std::u16string(usage.begin(), usage.end());
        Report(SignerRule::CodeSigningUsage, codeSigning,
               codeSigning
                   ? u"usable for code signing (" +
                         std::u16string(kCodeSigningUsage.begin(), kCodeSigningUsage.end()) + u")"
                   : u"not usable for code signing (usages: " +
                         (listed.empty() ? u"none" : listed) + u")");
    }
    if (codeSigning) return kTrusted;
    systemComponent = false;
    driverVerification = false;
    return kNotTrusted;
}

ValidationError SubjectMarkerCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    std::u16string text;
    const ValidationError read = certificate.ReadSubjectText(text);
    if (read != kTrusted) {
        Report(SignerRule::SubjectMarker, false, u"the subject cannot be read as text");
        return read;
    }
    // An empty marker would be found in every subject.
    const bool found = !identity.subjectMarker.empty() &&
                       text.find(identity.subjectMarker) != std::u16string::npos;
    if (g_observer.load())
        Report(SignerRule::SubjectMarker, found,
               (found ? u"the subject holds the subject marker "
                      : u"no code-signing usage, and the subject does not hold the subject "
                        u"marker ") +
                   Quoted(identity.subjectMarker));
    if (found) return kTrusted;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoSubjectMarker);
    return kNotTrusted;
}

ValidationError MakerCheck(ISignerCertificate& certificate, const TrustIdentity& identity) {
    const SubjectAttribute first[] = {SubjectAttribute::CommonName,
                                      SubjectAttribute::OrganisationalUnit};
    std::u16string name[2];
    if (!ReadAll(certificate, first, name)) {
        if (g_observer.load())
            Report(
                SignerRule::MakerAttributes, false,
                AbsentReason(first, name, 2, u"every maker rule needs a common name and a unit"));
        return kNotTrusted;
    }
    const std::u16string& commonName = name[0];
    const bool byUnit = name[1] == identity.makerUnit;
    if (g_observer.load())
        Report(SignerRule::MakerUnit, byUnit,
               u"organisational unit is " + Quoted(name[1]) +
                   (byUnit ? u", the maker unit"
                           : u", not the maker unit " + Quoted(identity.makerUnit)));
    if (byUnit) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::MakerUnit);
        return kTrusted;
    }
    // Locality, state and country must be there; their values do not matter.
    const SubjectAttribute more[] = {SubjectAttribute::Organisation, SubjectAttribute::Locality,
                                     SubjectAttribute::StateOrProvince, SubjectAttribute::Country};
    std::u16string rest[4];
    if (!ReadAll(certificate, more, rest)) {
        if (g_observer.load())
            Report(SignerRule::MakerAttributes, false,
                   AbsentReason(more, rest, 4,
                                u"the maker pairs need an organisation, a locality, a state and "
                                u"a country"));
        return kNotTrusted;
    }
    const std::u16string& organisation = rest[0];
    bool accepted = false;
    for (const MakerPair& pair : kMakerPairs) {
        const bool matches = IsOneOf(commonName, identity, pair.commonNames) &&
                             IsOneOf(organisation, identity, pair.organisations);
        if (g_observer.load())
            Report(pair.rule, matches, PairReason(pair, identity, commonName, organisation));
        accepted = accepted || matches;
    }
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
    if (ISignerRuleObserver* observer = g_observer.load()) {
        std::u16string subject;
        if (certificate->ReadSubjectText(subject) != kTrusted) subject.clear();
        observer->SignerExamined(level, subject);
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
