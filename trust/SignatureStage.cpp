#include "trust/SignatureStage.h"

#include "support/logging/Trace.h"
#include "trust/SignerCertificate.h"

#include <wincrypt.h>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x1D6F4B83, 0xC5A0, 0x4729, {0x8B, 0x3E, 0x94, 0x0C, 0x62, 0xD1, 0x7A, 0x55}}};
enum class TraceEvent : uint16_t {
    InvalidArguments = 1,
    FileMissing,
    NoSignerCertificate = 5,
    NoDriverUsage,
};

// The file is there to be judged: the held file through its handle, any
// other by its path.
bool SubjectPresent(const FileStageInput& input) {
    if (input.heldFile) {
        BY_HANDLE_FILE_INFORMATION info{};
        return GetFileInformationByHandle(input.heldFile, &info) != FALSE;
    }
    return GetFileAttributesW(input.path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ValidationError Examine(const FileStageInput& input, bool& systemComponent) {
    if (input.path.empty() || !IsValidLevel(input.level) ||
        static_cast<uint32_t>(input.mode) == 0) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidArguments);
        return ValidationError::VT_INVALID_ARG;
    }
    if (!SubjectPresent(input)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::FileMissing, input.path, GetLastError());
        return ValidationError::VT_ERROR;
    }
    const FileStageOutcome platform = VerifyFileStage(input);
    const ValidationError verdict = platform.result;
    // A file held open for the verdict provider still has its signer examined.
    if (verdict != ValidationError::VT_TRUSTED && !input.heldOpen) return verdict;

    // The signer of the very judgement the verdict stands on: of the catalog
    // when one vouched for the file, else of the file as the provider read it.
    const std::wstring& signedFile = platform.throughCatalog ? platform.lastCatalog : input.path;
    const PCCERT_CONTEXT signer = platform.judgement ? platform.judgement->Signer() : nullptr;
    if (!signer) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoSignerCertificate, signedFile,
              GetLastError());
        return verdict == ValidationError::VT_TRUSTED ? ValidationError::VT_NO_SIGNATURE_INFO
                                                      : verdict;
    }

    bool driverVerification = false;
    const ValidationError checks =
        CheckSigner(signer, input.level, input.mode, systemComponent, driverVerification);
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
