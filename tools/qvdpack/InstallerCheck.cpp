#include "InstallerCheck.h"

#include "ExecutablePackage.h"
#include "ToolFiles.h"
#include "job/PrelaunchVerification.h"
#include "packer/FilePackerEx.h"
#include "packer/PEFileHelper.h"
#include "support/text/Utf.h"
#include "trust/SignerRuleReport.h"
#include "trust/TrustIdentity.h"
#include "trust/VerifyFileStage.h"
#include "trust/VerifyTrustFactory.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace qvdpack {
namespace {

using pxLib::SignerRule;
using pxLib::ValidationError;

constexpr uint64_t kSiteCodeRule = 1001;
constexpr uint64_t kSiteCode = 1002;
constexpr uint32_t kLayoutWantsSiteCode = 64;

std::string Utf8(std::u16string_view text) {
    return pxLib::Utf16ToUtf8(text);
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::string Quoted(std::u16string_view text) {
    return "'" + Utf8(text) + "'";
}

// The file as the package reader sees it: the image, where its certificate
// table lies and whether the reader looks there, and the package records.
void ReportFile(const std::u16string& path, std::string& text) {
    ZOLT::CFilePackerEx packer;
    const ZOLT::HRESULT opened = packer.Open(path);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    if (pe == nullptr) {
        text += "file: not a PE32 or PE32+ image the package reader accepts (" +
                Hex(static_cast<uint32_t>(opened)) + ")\n";
        return;
    }
    const uint64_t end = pe->GetEndOfRawData();
    text += std::string("file: ") + (pe->IsPE32Plus() ? "PE32+" : "PE32") +
            " image, its last section ends at " + std::to_string(end) + "\n";
    const uint32_t table = pe->GetWinCertificateOffset();
    if (table == 0 && pe->GetWinCertificateLength() == 0) {
        text += "certificate table: none\n";
    } else {
        text += "certificate table: at " + std::to_string(table) + ", " +
                std::to_string(pe->GetWinCertificateLength()) + " bytes, ";
        text += table == end ? "behind the last section, where the package reader looks\n"
                             : "but the package reader looks at " + std::to_string(end) +
                                   ", behind the last section: strip the executable before "
                                   "signing it\n";
    }
    std::string records, error;
    if (DescribePackage(path, records, error)) {
        // Its lines from "package:" on; the headers are reported above.
        const size_t package = records.find("package:");
        if (package != std::string::npos) text += records.substr(package);
    } else {
        text += "package: " + error + "\n";
    }
}

// The layout data, and what the installed check does with entries 1001 and 1002.
void ReportLayout(const std::u16string& path, std::string& text) {
    pxLib::pxTavKeyValueCollection layout;
    std::string error;
    if (!LoadLayoutData(path, layout, error)) {
        text += "layout data: none (" + error + ")\n";
        return;
    }
    text += "layout data: \"FDELayoutData\" loads\n";
    uint32_t rule = 0;
    int32_t signedRule = 0;
    bool hasRule = layout.GetUInt32(kSiteCodeRule, rule);
    if (!hasRule && layout.GetInt32(kSiteCodeRule, signedRule)) {
        hasRule = true;
        rule = static_cast<uint32_t>(signedRule);
    }
    if (!hasRule)
        text += "entry 1001: absent: the installed check asks for no site code\n";
    else if (rule == kLayoutWantsSiteCode)
        text +=
            "entry 1001: 64: the installed check wants entry 1002 of install.dat to be the "
            "job's site code (qvdpack site-code), without regard to case\n";
    else
        text +=
            "entry 1001: " + std::to_string(rule) + ": the installed check asks for no site code\n";
    std::u16string code;
    text += layout.GetString(kSiteCode, code)
                ? "entry 1002: " + Quoted(code) + " (the installed check reads install.dat's)\n"
                : std::string("entry 1002: absent\n");
}

const char* VerdictMeaning(ValidationError result) {
    switch (result) {
        case ValidationError::VT_TRUSTED:
            return "VT_TRUSTED: a valid signature";
        case ValidationError::VT_ERROR:
            return "VT_ERROR: the file could not be evaluated";
        case ValidationError::VT_NOT_TRUSTED:
            return "VT_NOT_TRUSTED: a signature exists but fails, or none does";
        case ValidationError::VT_NO_SIGNATURE_INFO:
            return "VT_NO_SIGNATURE_INFO: no usable signature information";
        case ValidationError::VT_INVALID_ARG:
            return "VT_INVALID_ARG";
        case ValidationError::VT_INTERNAL_ERROR:
            return "VT_INTERNAL_ERROR";
        case ValidationError::VT_REVOCATION_UNKNOWN:
            return "VT_REVOCATION_UNKNOWN: the revocation status could not be determined";
        case ValidationError::VT_TIMESTAMP_INVALID:
            return "VT_TIMESTAMP_INVALID: the signature's time stamp is invalid";
    }
    return "unknown verdict";
}

const char* RuleName(SignerRule rule) {
    switch (rule) {
        case SignerRule::CodeSigningUsage:
            return "code-signing usage";
        case SignerRule::SubjectMarker:
            return "subject-marker fallback";
        case SignerRule::MakerAttributes:
            return "maker subject attributes";
        case SignerRule::MakerUnit:
            return "maker unit";
        case SignerRule::MakerPair11:
            return "maker pair (1,1)";
        case SignerRule::MakerPair12:
            return "maker pair (1,2)";
        case SignerRule::MakerPair33:
            return "maker pair (3,3)";
        case SignerRule::MakerMix45:
            return "maker names 4/5 mix";
    }
    return "rule";
}

constexpr SignerRule kRules[] = {
    SignerRule::CodeSigningUsage, SignerRule::SubjectMarker, SignerRule::MakerAttributes,
    SignerRule::MakerUnit,        SignerRule::MakerPair11,   SignerRule::MakerPair12,
    SignerRule::MakerPair33,      SignerRule::MakerMix45,
};
constexpr size_t kRuleCount = sizeof(kRules) / sizeof(kRules[0]);

struct Judgement {
    bool reached = false;
    bool accepted = false;
    std::string reason;
};

// Keeps what the signer checks say about the last signer judged at the
// maker's level (the installer's, or that of the catalog that lists it).
class RuleRecorder final : public pxLib::ISignerRuleObserver {
public:
    void SignerExamined(pxLib::TrustLevel level, std::u16string_view subject) override {
        m_watching = level == pxLib::TrustLevel::SignedByMaker;
        if (!m_watching) return;
        m_examined = true;
        m_subject = Utf8(subject);
        for (Judgement& judgement : m_rules) judgement = Judgement{};
    }
    void RuleJudged(SignerRule rule, bool accepted, std::u16string_view reason) override {
        if (!m_watching) return;
        m_rules[static_cast<size_t>(rule)] = Judgement{true, accepted, Utf8(reason)};
    }

    bool examined() const { return m_examined; }
    const std::string& subject() const { return m_subject; }
    const Judgement& operator[](SignerRule rule) const {
        return m_rules[static_cast<size_t>(rule)];
    }

private:
    bool m_watching = false;
    bool m_examined = false;
    std::string m_subject;
    Judgement m_rules[kRuleCount];
};

void ReportIdentity(std::string& text) {
    const pxLib::TrustIdentity& identity = pxLib::BuildIdentity();
    text += "build identity: maker names";
    for (size_t i = 0; i < 5; ++i)
        text += std::string(i ? ", " : " ") + std::to_string(i + 1) + " " +
                Quoted(identity.makerNames[i]);
    text += "; maker unit " + Quoted(identity.makerUnit) + "; subject marker " +
            Quoted(identity.subjectMarker) + "\n";
}

void ReportRules(const RuleRecorder& rules, std::string& text) {
    if (!rules.examined()) {
        text += "signer: not examined (the signer checks did not run)\n";
        return;
    }
    // The subject text holds one element per line.
    std::string subject = rules.subject();
    for (size_t at; (at = subject.find("\r\n")) != std::string::npos;) subject.replace(at, 2, ", ");
    text += "signer: " + (subject.empty() ? std::string("(no subject text)") : subject) + "\n";
    for (SignerRule rule : kRules) {
        const Judgement& judgement = rules[rule];
        text += std::string("rule ") + RuleName(rule) + ": ";
        if (!judgement.reached)
            text +=
                rule == SignerRule::SubjectMarker && rules[SignerRule::CodeSigningUsage].accepted
                    ? "not needed\n"
                    : "not reached\n";
        else
            text += std::string(judgement.accepted ? "accepted" : "refused") + " - " +
                    judgement.reason + "\n";
    }
}

bool IsMakerRule(SignerRule rule) {
    return rule == SignerRule::MakerUnit || rule == SignerRule::MakerPair11 ||
           rule == SignerRule::MakerPair12 || rule == SignerRule::MakerPair33 ||
           rule == SignerRule::MakerMix45;
}

// The reason that decided a refusal, as the plug-in met it.
std::string FirstReason(ValidationError platform, const RuleRecorder& rules, HRESULT verdict) {
    if (platform != ValidationError::VT_TRUSTED)
        return std::string("the platform's verdict is ") + VerdictMeaning(platform);
    if (rules.examined()) {
        const Judgement& marker = rules[SignerRule::SubjectMarker];
        if (marker.reached && !marker.accepted) return marker.reason;
        const Judgement& attributes = rules[SignerRule::MakerAttributes];
        if (attributes.reached && !attributes.accepted) return attributes.reason;
        // No maker rule accepted: the pair that comes nearest says the most.
        const Judgement* nearest = nullptr;
        for (SignerRule rule : kRules) {
            const Judgement& judgement = rules[rule];
            if (!IsMakerRule(rule) || !judgement.reached || judgement.accepted) continue;
            if (!nearest || (nearest->reason.find("must then be") == std::string::npos &&
                             judgement.reason.find("must then be") != std::string::npos))
                nearest = &judgement;
        }
        if (nearest) return "no identity rule of this build accepts the signer: " + nearest->reason;
    }
    return "the prelaunch verification answered " + Hex(static_cast<uint32_t>(verdict));
}

}  // namespace

CheckVerdict CheckInstaller(const std::wstring& path, std::string& text) {
    const std::u16string path16 = pxLib::ToU16(path);
    ReportFile(path16, text);
    ReportLayout(path16, text);

    // As the plug-in's module start-up sets it up.
    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    pxLib::FileStageInput input;
    std::wstring full(MAX_PATH, L'\0');
    const DWORD n =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    input.path = n > 0 && n < full.size() ? full.substr(0, n) : path;
    input.level = pxLib::TrustLevel::SignedByMaker;
    const ValidationError platform = pxLib::VerifyFileStage(input).result;
    text += std::string("signature: the platform's verdict at the maker level is ") +
            VerdictMeaning(platform) + "\n";

    RuleRecorder rules;
    pxLib::SetSignerRuleObserver(&rules);
    pxLib::UniqueHandle held;
    std::wstring launchPath;
    const HRESULT verdict = qvd::job::VerifyInstallerBeforeLaunch(path, held, launchPath);
    pxLib::SetSignerRuleObserver(nullptr);
    ReportRules(rules, text);
    ReportIdentity(text);

    if (verdict == S_OK) {
        text += "verdict: this build of the plug-in starts this installer\n";
        return CheckVerdict::Starts;
    }
    text += "verdict: this build of the plug-in refuses this installer (" +
            Hex(static_cast<uint32_t>(verdict)) + ")\n";
    text += "reason: " + FirstReason(platform, rules, verdict) + "\n";
    return CheckVerdict::Refused;
}

}  // namespace qvdpack
