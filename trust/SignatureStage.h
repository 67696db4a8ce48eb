// The signature stage: the platform's verdict on the file (VerifyFileStage.h),
// then the first signer of that same judgement (of the file, or of the catalog
// that vouched for it) through the signer checks.
#pragma once

#include "trust/VerifyFileStage.h"

namespace pxLib {

// systemComponent is set from the signer's usages and cleared on any result
// but VT_TRUSTED.
[[nodiscard]] ValidationError SignatureStage(const FileStageInput& input, bool& systemComponent);

}  // namespace pxLib
