#include "trust/InstallerTrust.h"

#include "support/errors/LastError.h"
#include "trust/VerifyTrustFactory.h"

namespace pxLib {

HRESULT VerifyInstallerTrust(const std::wstring& path, UniqueHandle& heldFile) {
    heldFile.reset(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!heldFile) return HResultFromLastError();
    std::unique_ptr<IInstallerVerifier> verifier;
    const HRESULT created = GetTrustVerifier(verifier);
    if (FAILED(created)) return created;
    return verifier->VerifyFile(path, heldFile.get());
}

}  // namespace pxLib
