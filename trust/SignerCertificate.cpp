#include "trust/SignerCertificate.h"

#include "support/logging/Trace.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x3C58E0A2, 0x97D4, 0x4F1B, {0xA0, 0x6E, 0x4D, 0x21, 0xB7, 0x5C, 0x08, 0xF3}}};
enum class TraceEvent : uint16_t {
    UsageSizeFailed = 1,
    UsageReadFailed,
    SubjectSizeFailed,
    SubjectTextFailed,
    AttributeAbsent,
};

constexpr DWORD kAttributeCapacity = 260;
constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

}  // namespace

ValidationError SignerCertificate::ReadUsages(std::vector<std::string>& usages) {
    usages.clear();
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(m_certificate, 0, nullptr, &size)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::UsageSizeFailed, GetLastError());
        return ValidationError::VT_NO_SIGNATURE_INFO;
    }
    std::vector<BYTE> buffer;
    try {
        buffer.resize(size < sizeof(CERT_ENHKEY_USAGE) ? sizeof(CERT_ENHKEY_USAGE) : size);
    } catch (const std::bad_alloc&) {
        return ValidationError::VT_INTERNAL_ERROR;
    }
    auto* list = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!CertGetEnhancedKeyUsage(m_certificate, 0, list, &size)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::UsageReadFailed, GetLastError());
        return ValidationError::VT_NOT_TRUSTED;
    }
    for (DWORD i = 0; i < list->cUsageIdentifier; ++i)
        if (list->rgpszUsageIdentifier[i]) usages.emplace_back(list->rgpszUsageIdentifier[i]);
    return ValidationError::VT_TRUSTED;
}

ValidationError SignerCertificate::ReadSubjectText(std::u16string& text) {
    const DWORD type = CERT_OID_NAME_STR | CERT_NAME_STR_CRLF_FLAG;
    CERT_NAME_BLOB* subject = &m_certificate->pCertInfo->Subject;
    const DWORD length = CertNameToStrW(kEncodings, subject, type, nullptr, 0);
    if (length == 0) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SubjectSizeFailed, GetLastError());
        return ValidationError::VT_NO_SIGNATURE_INFO;
    }
    std::wstring buffer;
    try {
        buffer.resize(length);
    } catch (const std::bad_alloc&) {
        return ValidationError::VT_INTERNAL_ERROR;
    }
    const DWORD written = CertNameToStrW(kEncodings, subject, type, buffer.data(), length);
    if (written == 0 || written > length) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SubjectTextFailed, GetLastError());
        return ValidationError::VT_NO_SIGNATURE_INFO;
    }
    text.assign(buffer.begin(), buffer.begin() + (written - 1));
    return ValidationError::VT_TRUSTED;
}

bool SignerCertificate::ReadAttribute(SubjectAttribute attribute, std::u16string& value) {
    wchar_t buffer[kAttributeCapacity] = {};
    const DWORD count = CertGetNameStringW(m_certificate, CERT_NAME_ATTR_TYPE, 0,
                                           const_cast<char*>(SubjectAttributeOid(attribute)),
                                           buffer, kAttributeCapacity);
    // The count includes the terminating zero: 1 is an empty or absent attribute.
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 on Windows");
    if (!AttributeValueOf(reinterpret_cast<const char16_t*>(buffer), kAttributeCapacity, count,
                          value)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::AttributeAbsent,
              static_cast<uint32_t>(attribute), GetLastError());
        return false;
    }
    return true;
}

ValidationError CheckSigner(PCCERT_CONTEXT certificate, TrustLevel level, TrustMode mode,
                            bool& systemComponent, bool& driverVerification) {
    if (certificate == nullptr) {
        systemComponent = false;
        driverVerification = false;
        return SignerChecks(nullptr, level, mode, BuildIdentity(), systemComponent,
                            driverVerification);
    }
    SignerCertificate signer(certificate);
    return SignerChecks(&signer, level, mode, BuildIdentity(), systemComponent, driverVerification);
}

}  // namespace pxLib
