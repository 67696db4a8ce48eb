// The platform's verdict on a file: WinVerifyTrust on the file's embedded
// signature and, where the level allows, on the system catalogs that list the
// file's hash.
#pragma once

#include "trust/CatalogContext.h"
#include "trust/TrustJudgement.h"
#include "trust/TrustTypes.h"

#include <windows.h>

#include <memory>
#include <string>

namespace pxLib {

struct FileStageInput {
    std::wstring path;  // normalised
    TrustLevel level = TrustLevel::SignedAny;
    TrustMode mode = TrustMode::NoRevocationCheck;
    bool driverPolicy = false;
    bool heldOpen = false;      // held open for the verdict provider
    HANDLE heldFile = nullptr;  // the caller's open handle of the file, if any
};

struct FileStageOutcome {
    ValidationError result = ValidationError::VT_NOT_TRUSTED;
    bool throughCatalog = false;  // a catalog was tried
    std::wstring lastCatalog;     // the last catalog tried
    // The catalog database the judgement below used; it outlives it.
    std::unique_ptr<CatalogContext> catalogs;
    // The provider's last judgement, whose signer the signer checks examine.
    std::unique_ptr<TrustJudgement> judgement;
};

FileStageOutcome VerifyFileStage(const FileStageInput& input);

}  // namespace pxLib
