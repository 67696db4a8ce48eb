// A platform certificate context as the signer checks read it.
#pragma once

#include "trust/SignerRules.h"

#include <windows.h>
#include <wincrypt.h>

namespace pxLib {

class SignerCertificate final : public ISignerCertificate {
public:
    explicit SignerCertificate(PCCERT_CONTEXT certificate) : m_certificate(certificate) {}

    [[nodiscard]] ValidationError ReadUsages(std::vector<std::string>& usages) override;
    [[nodiscard]] ValidationError ReadSubjectText(std::u16string& text) override;
    [[nodiscard]] bool ReadAttribute(SubjectAttribute attribute, std::u16string& value) override;

private:
    PCCERT_CONTEXT m_certificate;
};

// The signer checks on a certificate context; null gives VT_INVALID_ARG.
[[nodiscard]] ValidationError CheckSigner(PCCERT_CONTEXT certificate, TrustLevel level,
                                          TrustMode mode, bool& systemComponent,
                                          bool& driverVerification);

}  // namespace pxLib
