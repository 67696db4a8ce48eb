// The core of installer verification: the platform's Authenticode policy
// (WINTRUST_ACTION_GENERIC_VERIFY_V2) without UI and without revocation checks.
#pragma once

#include "trust/VerifyTrustFactory.h"

namespace pxLib {

class CWinTrustVerifier final : public IInstallerVerifier {
public:
    HRESULT VerifyFile(const std::wstring& path, HANDLE heldFile) override;
};

}  // namespace pxLib
