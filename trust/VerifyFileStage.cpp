#include "trust/VerifyFileStage.h"

#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"
#include "trust/CallTiming.h"
#include "trust/CatalogContext.h"
#include "trust/TrustProvider.h"
#include "trust/TrustResultMap.h"

#include <softpub.h>

#include <utility>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x4A90C1D7, 0x6E2B, 0x4358, {0xBD, 0x0F, 0x72, 0x16, 0xA9, 0xE4, 0x3C, 0x81}}};
enum class TraceEvent : uint16_t {
    SlowCall = 1,
    VerifyFailed,
    NoCatalogDatabase,
    NoCatalogHolds,
    CatalogFailed,
};

const GUID kDriverActionVerify = DRIVER_ACTION_VERIFY;
const GUID kGenericVerifyV2 = WINTRUST_ACTION_GENERIC_VERIFY_V2;
constexpr wchar_t kDriverActionName[] = L"DRIVER_ACTION_VERIFY";
constexpr wchar_t kGenericVerifyName[] = L"WINTRUST_ACTION_GENERIC_VERIFY_V2";

// Settings every WinVerifyTrust call of one stage shares.
struct TrustCall {
    TrustSettings settings;
    const wchar_t* actionName;

    explicit TrustCall(const FileStageInput& input)
        : settings{input.driverPolicy ? kDriverActionVerify : kGenericVerifyV2,
                   input.mode == TrustMode::RevocationCheck ? DWORD{WTD_REVOKE_WHOLECHAIN}
                                                            : DWORD{WTD_REVOKE_NONE},
                   input.mode == TrustMode::RevocationCheck ? DWORD{WTD_REVOCATION_CHECK_CHAIN}
                                                            : DWORD{WTD_REVOCATION_CHECK_NONE}},
          actionName(input.driverPolicy ? kDriverActionName : kGenericVerifyName) {}

    // A new judgement, kept in outcome; judge is the call that makes it.
    template <class Judge>
    LONG Verify(FileStageOutcome& outcome, const std::wstring& path, Judge judge) {
        outcome.judgement.reset();
        outcome.judgement = std::make_unique<TrustJudgement>(settings);
        const CallTimer timer;
        const LONG result = judge(*outcome.judgement);
        if (const uint32_t ms = timer.SlowMs())
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::SlowCall, actionName, path, ms);
        return result;
    }
};

bool ReadPolicyFlags(uint32_t& flags) {
    DWORD value = 0;
    if (!TrustProvider().PolicyFlags(value)) return false;
    flags = value;
    return true;
}

// The catalog fallback; result is the provider's last answer, or VT_ERROR
// through noDatabase when no administrator context could be had.
LONG VerifyThroughCatalogs(const FileStageInput& input, TrustCall& call, LONG result,
                           FileStageOutcome& outcome, bool& noDatabase) {
    const bool sha256 = ChooseSha256ForCatalogs(input.path, input.heldFile);
    outcome.catalogs = std::make_unique<CatalogContext>(sha256);
    const CatalogContext& context = *outcome.catalogs;
    if (!context.Acquired()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoCatalogDatabase, input.path);
        noDatabase = true;
        return result;
    }
    const CatalogFileHash hash(context.Handle(), input.path, context.UsesSha256(), input.heldFile);
    if (!hash.Succeeded())
        return hash.LastError() == ERROR_INVALID_PARAMETER ? TRUST_E_SUBJECT_NOT_TRUSTED
                                                           : TRUST_E_SUBJECT_FORM_UNKNOWN;
    const CatalogIterator catalogs(context.Handle(), hash.Bytes());
    if (catalogs.FoundNone()) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoCatalogHolds, input.path);
        return result;
    }
    outcome.throughCatalog = true;
    for (const std::wstring& catalog : catalogs.Catalogs()) {
        outcome.lastCatalog = catalog;
        result = call.Verify(outcome, input.path, [&](TrustJudgement& judgement) {
            return judgement.JudgeCatalogMember(catalog, hash.MemberTag(), input.path,
                                                input.heldFile, context.Handle());
        });
        if (result == 0) break;
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::CatalogFailed, catalog, result);
    }
    return result;
}

FileStageOutcome Run(const FileStageInput& input) {
    FileStageOutcome outcome;
    if (input.path.empty()) {
        outcome.result = ValidationError::VT_INVALID_ARG;
        return outcome;
    }
    TrustCall call(input);
    // The file the caller holds is the one judged, whatever its path names now.
    LONG result = call.Verify(outcome, input.path, [&](TrustJudgement& judgement) {
        return judgement.JudgeFile(input.path, input.heldFile);
    });
    if (result != 0) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::VerifyFailed, call.actionName,
              input.path, result, GetLastError());
        // A maker's file must carry the maker's own signature, unless the
        // verdict provider holds it open.
        if (!(input.level == TrustLevel::SignedByMaker && !input.heldOpen)) {
            bool noDatabase = false;
            result = VerifyThroughCatalogs(input, call, result, outcome, noDatabase);
            if (noDatabase) {
                outcome.result = ValidationError::VT_ERROR;
                return outcome;
            }
        }
    }
    outcome.result = MapTrustResult(result, ReadPolicyFlags);
    return outcome;
}

}  // namespace

FileStageOutcome VerifyFileStage(const FileStageInput& input) {
    FileStageOutcome failed;
    failed.result = ValidationError::VT_INTERNAL_ERROR;
    return GuardedCall(u"VerifyFile", __LINE__, std::move(failed), [&] { return Run(input); });
}

}  // namespace pxLib
