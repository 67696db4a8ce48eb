#include "trust/VerifyTrust.h"

#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"
#include "support/system/SubjectFile.h"
#include "support/text/Utf.h"
#include "trust/FileCache.h"
#include "trust/PathNormaliser.h"
#include "trust/SignatureStage.h"
#include "trust/VerifySubjects.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xB7E2049C, 0x5F3A, 0x4D61, {0x8C, 0x97, 0x3E, 0x0B, 0xD6, 0x21, 0x74, 0xAF}}};
enum class TraceEvent : uint16_t {
    Disabled = 1,
    InvalidArguments,
    NotNormalised,
    FileNotOpened,
    VerdictNotUsed,
    NotTrusted,
    Failed,
    CacheAddFailed,
    Verified,
    NoSubject,
};

constexpr char16_t kSourceName[] = u"pxVerifyTrustImpl";
constexpr ValidationError kTrusted = ValidationError::VT_TRUSTED;
constexpr ValidationError kInternalError = ValidationError::VT_INTERNAL_ERROR;

// Set after a level-3 verification of the process succeeded; never cleared.
// Plain flags: a race only repeats a verification.
std::atomic<bool> g_currentProcessTrusted{false};
std::atomic<bool> g_parentProcessTrusted{false};

void TraceResult(ValidationError result, const std::wstring& path, TrustLevel level) {
    Trace(kTraceSource,
          result == ValidationError::VT_NOT_TRUSTED ? TraceLevel::Information : TraceLevel::Error,
          result == ValidationError::VT_NOT_TRUSTED ? TraceEvent::NotTrusted : TraceEvent::Failed,
          path, ToUInt(level), ToUInt(result));
}

bool NarrowToWide(const char* text, std::wstring& wide) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<size_t>(n));
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n) != n) return false;
    wide.resize(static_cast<size_t>(n - 1));
    return true;
}

}  // namespace

CVerifyTrust::CVerifyTrust() {
    try {
        m_pPolicy = RefPtr<VerifyTrustPolicy>(new VerifyTrustPolicy);
    } catch (const std::bad_alloc&) {
        // Without a policy object the verifier stays enabled.
    }
}

OBJRESULT CVerifyTrust::QueryInterface(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IRefObject || iid == IID_IVerifyTrust || iid == IID_IVerifyTrustObject ||
        iid == IID_IVerifyTrustAlias1 || iid == IID_IVerifyTrustAlias2) {
        *out = static_cast<IVerifyTrust*>(this);
    } else if (iid == IID_IVerifyTrustCache) {
        *out = static_cast<IVerifyTrustCache*>(this);
    } else if (iid == IID_IVerifyTrustProviderOption) {
        *out = static_cast<IVerifyTrustProviderOption*>(this);
    } else if (iid == IID_IVerifyHeldFile) {
        *out = static_cast<IVerifyHeldFile*>(this);
    } else if (iid == IID_IVerifyTrustPolicy && m_pPolicy) {
        return m_pPolicy->QueryInterface(iid, out);
    } else {
        return OBJ_E_NOINTERFACE;
    }
    AddRef();
    return OBJ_OK;
}

ValidationError CVerifyTrust::Create(bool applyPolicy) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        m_provider.Release();
        if (applyPolicy) m_bEnabled = m_pPolicy ? m_pPolicy->GetAlternateTrustPolicy() : true;
        if (m_bProviderEnabled && m_bEnabled) m_provider.Initialise();
        return kTrusted;
    });
}

ValidationError CVerifyTrust::ReleaseProvider() {
    m_provider.Release();
    return kTrusted;
}

ValidationError CVerifyTrust::Verify(const CoreRequest& request) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] { return VerifyCore(request); });
}

ValidationError CVerifyTrust::VerifyCore(const CoreRequest& request) {
    if (!m_bEnabled) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::Disabled);
        return kTrusted;
    }
    if (request.path == nullptr || request.path[0] == 0 || !IsValidLevel(request.level)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidArguments, ToUInt(request.level));
        return ValidationError::VT_INVALID_ARG;
    }
    const TrustMode mode =
        m_bRevocationCheck ? TrustMode::RevocationCheck : TrustMode::NoRevocationCheck;
    bool localSystemComponent = false;
    bool& systemComponent =
        request.systemComponent ? *request.systemComponent : localSystemComponent;
    systemComponent = false;

    std::u16string normalised;
    if (!NormalisePath(ToU16(request.path), normalised)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotNormalised, request.path);
        return ValidationError::VT_ERROR;
    }
    const std::wstring path = ToWide(normalised);
    const uint32_t driverPolicy = request.driverPolicy ? 1 : 0;

    if (m_bProviderEnabled && m_bEnabled) m_provider.Initialise();

    // Provider stage: the provider judges the file held open here (the
    // caller's own handle when it holds one).
    UniqueHandle providerFile;
    bool providerHolds = false;
    bool fromProvider = false;
    ValidationError result = kTrusted;
    bool decided = false;
    if (m_bProviderEnabled && m_provider.Present() &&
        request.level != TrustLevel::SignedByAltPublisher) {
        if (!request.heldFile)
            providerFile.reset(CreateFileW(path.c_str(), FILE_GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, kSubjectOpenFlags, nullptr));
        const HANDLE judged = request.heldFile ? request.heldFile : providerFile.get();
        if (!judged) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::FileNotOpened, path, GetLastError());
            return ValidationError::VT_ERROR;
        }
        providerHolds = true;
        uint32_t flags = 0;
        if (m_provider.ReadFlags(judged, flags)) {
            const ProviderVerdict verdict =
                ReadProviderVerdict(flags, request.level, request.driverPolicy);
            systemComponent = verdict.systemComponent;
            if (verdict.verdict != kTrusted && request.systemComponent) systemComponent = false;
            if (!verdict.usable) {
                Trace(kTraceSource, TraceLevel::Information, TraceEvent::VerdictNotUsed, path,
                      flags);
            } else if (!request.driverPolicy || verdict.verdict == kTrusted) {
                result = verdict.verdict;
                fromProvider = true;
                decided = true;
            }
        }
    }

    // The cache knows files by path: a held file is judged itself.
    const bool useCache = m_bCacheEnabled && !request.heldFile;
    if (!decided && useCache) {
        bool conflict = false;
        const ValidationError cached = ProcessFileCache().Lookup(
            normalised, request.level, request.variant, driverPolicy, systemComponent, conflict);
        if (cached == kTrusted) return kTrusted;
        if (cached == ValidationError::VT_NOT_TRUSTED && conflict) {
            TraceResult(cached, path, request.level);
            return cached;
        }
    }

    if (!decided) {
        FileStageInput input;
        input.path = path;
        input.level = request.level;
        input.mode = mode;
        input.driverPolicy = request.driverPolicy;
        input.heldOpen = providerHolds;
        input.heldFile = request.heldFile;
        result = SignatureStage(input, systemComponent);
    }

    if (result != kTrusted) {
        TraceResult(result, path, request.level);
        return result;
    }
    if (useCache && !fromProvider) {
        const TrustLevel cacheLevel =
            systemComponent ? TrustLevel::SignedByPlatform : request.level;
        if (ProcessFileCache().Add(normalised, cacheLevel, request.variant, systemComponent,
                                   driverPolicy) != kTrusted)
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::CacheAddFailed, path);
    }
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::Verified, path, ToUInt(request.level));
    return kTrusted;
}

ValidationError CVerifyTrust::VerifyNarrow(const char* path, TrustLevel level, bool variant,
                                           bool* systemComponent, bool driverPolicy) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        std::wstring wide;
        if (path != nullptr && !NarrowToWide(path, wide)) return kInternalError;
        CoreRequest request;
        request.path = path ? wide.c_str() : nullptr;
        request.level = level;
        request.variant = variant;
        request.systemComponent = systemComponent;
        request.driverPolicy = driverPolicy;
        return VerifyCore(request);
    });
}

// The plain forms keep their cache entries apart from the variant-false ones.
ValidationError CVerifyTrust::VerifyFile(const wchar_t* path, TrustLevel level) {
    return VerifyFile(path, level, true, nullptr);
}

ValidationError CVerifyTrust::VerifyFile(const char* path, TrustLevel level) {
    return VerifyNarrow(path, level, true, nullptr, false);
}

ValidationError CVerifyTrust::VerifyFile(const wchar_t* path, TrustLevel level, bool variant,
                                         bool* systemComponent) {
    CoreRequest request;
    request.path = path;
    request.level = level;
    request.variant = variant;
    request.systemComponent = systemComponent;
    return Verify(request);
}

ValidationError CVerifyTrust::VerifyFile(const char* path, TrustLevel level, bool variant,
                                         bool* systemComponent) {
    return VerifyNarrow(path, level, variant, systemComponent, false);
}

ValidationError CVerifyTrust::VerifyFile(const wchar_t* path, TrustLevel level, bool variant) {
    return VerifyFile(path, level, variant, nullptr);
}

ValidationError CVerifyTrust::VerifyFile(const char* path, TrustLevel level, bool variant) {
    return VerifyNarrow(path, level, variant, nullptr, false);
}

ValidationError CVerifyTrust::VerifyDriverFile(const wchar_t* path, bool variant) {
    CoreRequest request;
    request.path = path;
    request.level = TrustLevel::SignedByPlatform;
    request.variant = variant;
    request.driverPolicy = true;
    return Verify(request);
}

ValidationError CVerifyTrust::VerifyDriverFile(const char* path, bool variant) {
    return VerifyNarrow(path, TrustLevel::SignedByPlatform, variant, nullptr, true);
}

ValidationError CVerifyTrust::VerifyHeldFile(const wchar_t* path, TrustLevel level,
                                             HANDLE heldFile) {
    CoreRequest request;
    request.path = path;
    request.level = level;
    request.variant = true;
    request.heldFile = heldFile;
    return Verify(request);
}

ValidationError CVerifyTrust::VerifyPath(const std::wstring& path, TrustLevel level) {
    return VerifyFile(path.c_str(), level);
}

ValidationError CVerifyTrust::VerifyProcess(uint32_t processId, TrustLevel level) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        std::wstring path;
        if (!ProcessImageFile(processId, path)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSubject, processId);
            return ValidationError::VT_ERROR;
        }
        return VerifyFile(path.c_str(), level, false);
    });
}

// A disabled verifier answers VT_TRUSTED without looking: that must not mark
// the process as verified for every other verifier of the module.
ValidationError CVerifyTrust::VerifyCurrentProcess(TrustLevel level) {
    if (level == TrustLevel::SignedByMaker && g_currentProcessTrusted.load()) return kTrusted;
    const bool verifies = m_bEnabled;
    const ValidationError result = VerifyProcess(GetCurrentProcessId(), level);
    if (level == TrustLevel::SignedByMaker && result == kTrusted && verifies)
        g_currentProcessTrusted = true;
    return result;
}

ValidationError CVerifyTrust::VerifyParentProcess(TrustLevel level) {
    if (level == TrustLevel::SignedByMaker && g_parentProcessTrusted.load()) return kTrusted;
    DWORD parent = 0;
    if (!ParentProcessId(parent)) return ValidationError::VT_ERROR;
    const bool verifies = m_bEnabled;
    const ValidationError result = VerifyProcess(parent, level);
    if (level == TrustLevel::SignedByMaker && result == kTrusted && verifies)
        g_parentProcessTrusted = true;
    return result;
}

ValidationError CVerifyTrust::VerifyModuleAt(const void* address, TrustLevel level) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        std::wstring path;
        if (!ModuleFileAt(address, path)) return ValidationError::VT_ERROR;
        return VerifyPath(path, level);
    });
}

ValidationError CVerifyTrust::VerifyModuleAt(uintptr_t address, TrustLevel level) {
    return VerifyModuleAt(reinterpret_cast<const void*>(address), level);
}

ValidationError CVerifyTrust::VerifyModuleOfObject(const void* object, TrustLevel level) {
    if (object == nullptr) return ValidationError::VT_INVALID_ARG;
    return VerifyModuleAt(*static_cast<const void* const*>(object), level);
}

ValidationError CVerifyTrust::VerifyClass(const Guid& classId, TrustLevel level) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        std::wstring path;
        if (!ClassServerFile(classId, path)) return ValidationError::VT_ERROR;
        return VerifyPath(path, level);
    });
}

void CVerifyTrust::SetCacheLimit(uint32_t count) {
    ProcessFileCache().SetLimit(count);
}

uint32_t CVerifyTrust::GetCacheLimit() {
    return ProcessFileCache().Limit();
}

void CVerifyTrust::ClearCache() {
    ProcessFileCache().Clear();
}

ValidationError CVerifyTrust::ForgetFile(const wchar_t* path) {
    return GuardedCall(kSourceName, __LINE__, kInternalError, [&] {
        if (path == nullptr || m_bProviderEnabled) return ValidationError::VT_INVALID_ARG;
        std::u16string normalised;
        if (!NormalisePath(ToU16(path), normalised)) return ValidationError::VT_INVALID_ARG;
        return ProcessFileCache().Remove(normalised);
    });
}

}  // namespace pxLib
