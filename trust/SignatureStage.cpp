#include "trust/SignatureStage.h"

#include "support/logging/Trace.h"
#include "trust/CertificateOwners.h"
#include "trust/SignerCertificate.h"

#include <wincrypt.h>

#include <new>
#include <vector>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x1D6F4B83, 0xC5A0, 0x4729, {0x8B, 0x3E, 0x94, 0x0C, 0x62, 0xD1, 0x7A, 0x55}}};
enum class TraceEvent : uint16_t {
    InvalidArguments = 1,
    FileMissing,
    NoSignedMessage,
    NoSignerInfo,
    NoSignerCertificate,
    NoDriverUsage,
};

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A file's signed message, its certificate store and the signer's certificate.
class SignedMessage {
public:
    bool Open(const std::wstring& path) {
        DWORD encoding = 0, contentType = 0, formatType = 0;
        return CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                                CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType,
                                &formatType, m_store.put(), m_message.put(), nullptr) != FALSE;
    }
    // The first signer's certificate, or VT_NO_SIGNATURE_INFO / VT_INTERNAL_ERROR.
    ValidationError FindSigner() {
        DWORD size = 0;
        if (!CryptMsgGetParam(m_message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) ||
            size == 0) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSignerInfo, GetLastError());
            return ValidationError::VT_NO_SIGNATURE_INFO;
        }
        std::vector<BYTE> buffer;
        try {
            buffer.resize(size);
        } catch (const std::bad_alloc&) {
            return ValidationError::VT_INTERNAL_ERROR;
        }
        if (!CryptMsgGetParam(m_message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSignerInfo, GetLastError());
            return ValidationError::VT_NO_SIGNATURE_INFO;
        }
        const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
        CERT_INFO wanted{};
        wanted.Issuer = signer->Issuer;
        wanted.SerialNumber = signer->SerialNumber;
        m_certificate.reset(CertFindCertificateInStore(m_store.get(), kEncodings, 0,
                                                       CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
        if (!m_certificate) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSignerCertificate, GetLastError());
            return ValidationError::VT_NO_SIGNATURE_INFO;
        }
        return ValidationError::VT_TRUSTED;
    }
    PCCERT_CONTEXT Certificate() const { return m_certificate.get(); }

private:
    UniqueCryptMessage m_message;
    UniqueCertificateStore m_store;
    UniqueCertificate m_certificate;  // freed first
};

ValidationError Examine(const FileStageInput& input, bool& systemComponent) {
    if (input.path.empty() || !IsValidLevel(input.level) ||
        static_cast<uint32_t>(input.mode) == 0) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidArguments);
        return ValidationError::VT_INVALID_ARG;
    }
    if (GetFileAttributesW(input.path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::FileMissing, input.path, GetLastError());
        return ValidationError::VT_ERROR;
    }
    const FileStageOutcome platform = VerifyFileStage(input);
    const ValidationError verdict = platform.result;
    // A file held open for the verdict provider still has its signer examined.
    if (verdict != ValidationError::VT_TRUSTED && !input.heldOpen) return verdict;

    SignedMessage message;
    const std::wstring& signedFile = platform.throughCatalog ? platform.lastCatalog : input.path;
    if (!message.Open(signedFile)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoSignedMessage, signedFile,
              GetLastError());
        return verdict == ValidationError::VT_TRUSTED ? ValidationError::VT_NO_SIGNATURE_INFO
                                                      : verdict;
    }
    const ValidationError found = message.FindSigner();
    if (found != ValidationError::VT_TRUSTED) return found;

    bool driverVerification = false;
    const ValidationError checks = CheckSigner(message.Certificate(), input.level, input.mode,
                                               systemComponent, driverVerification);
    if (input.driverPolicy && !driverVerification) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoDriverUsage, input.path);
        return ValidationError::VT_NOT_TRUSTED;
    }
    if (checks == ValidationError::VT_TRUSTED)
        return input.heldOpen ? verdict : ValidationError::VT_TRUSTED;
    return checks;
}

}  // namespace

ValidationError SignatureStage(const FileStageInput& input, bool& systemComponent) {
    const ValidationError result = Examine(input, systemComponent);
    if (result != ValidationError::VT_TRUSTED) systemComponent = false;
    return result;
}

}  // namespace pxLib
