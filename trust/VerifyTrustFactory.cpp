#include "trust/VerifyTrustFactory.h"

#include "collections/factory/ProcessObjectFactory.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Log.h"
#include "support/logging/Trace.h"
#include "trust/ObjectResultTranslation.h"
#include "trust/VerifyTrust.h"

#include <atomic>
#include <mutex>
#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x3b8a4e21, 0x7c0d, 0x4f6b, {0x8e, 0x13, 0x5d, 0x2a, 0x90, 0x41, 0xc7, 0x6e}}};
enum class TraceEvent : uint16_t {
    NoInterface = 1,
    FactoryFailed,
    CreateFailed,
    NoObjectFactory,
    ObjectNotCreated,
    ObjectCreateFailed,
};

std::once_flag g_registerOnce;
std::atomic<VerifyTrustFactoryFn> g_factory{nullptr};
std::atomic<HRESULT> g_registrationResult{E_UNEXPECTED};

}  // namespace

HRESULT StaticVerifyTrustFactory(RefPtr<IVerifyTrust>& verifier) {
    const RefPtr<CVerifyTrust> object =
        GuardedAllocation(u"pxVerifyTrustStatic", __LINE__, RefPtr<CVerifyTrust>(),
                          [] { return RefPtr<CVerifyTrust>(new CVerifyTrust); });
    RefPtr<IVerifyTrust> trust;
    // What the query gave is judged below, by the pointer.
    if (object)
        static_cast<void>(
            QueryInto(static_cast<IVerifyTrust*>(object.get()), IID_IVerifyTrust, trust));
    if (!trust) {
        LogError(u"StaticVerifyTrustFactory(54) : spTrust==NULL");
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoInterface);
        return kNoVerifier;
    }
    RefPtr<IVerifyTrustProviderOption> option;
    if (ObjSucceeded(QueryInto(trust.get(), IID_IVerifyTrustProviderOption, option)))
        option->SetProviderEnabled(false);
    trust->SetRevocationCheck(false);
    const ValidationError created = trust->Create(false);
    if (created != ValidationError::VT_TRUSTED) {
        LogError(u"StaticVerifyTrustFactory(66) : spTrust->Create() failed, validationError=%d",
                 static_cast<int32_t>(created));
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::CreateFailed, ToUInt(created));
        return kNoVerifier;
    }
    verifier = std::move(trust);
    return S_OK;
}

void RegisterVerifyTrustFactoryOnce(VerifyTrustFactoryFn factory) {
    std::call_once(g_registerOnce, [factory] {
        g_factory = factory;
        g_registrationResult = factory ? S_OK : E_INVALIDARG;
    });
}

HRESULT VerifyTrustFactoryRegistrationResult() {
    return g_registrationResult.load();
}

HRESULT GetTrustVerifier(RefPtr<IVerifyTrust>& verifier) {
    verifier.reset();
    if (const VerifyTrustFactoryFn factory = g_factory.load()) {
        const HRESULT hr = factory(verifier);
        if (FAILED(hr)) Trace(kTraceSource, TraceLevel::Error, TraceEvent::FactoryFailed, hr);
        return hr;
    }
    RefPtr<IProcessObjectFactory> objects;
    if (!ObjSucceeded(GetProcessObjectFactory(objects)) || !objects) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoObjectFactory);
        return E_OUTOFMEMORY;
    }
    RefPtr<IVerifyTrust> trust;
    const OBJRESULT created =
        objects->CreateInstance(CLSID_VerifyTrust, IID_IVerifyTrustObject, trust.put_void());
    if (!ObjSucceeded(created) || !trust) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectNotCreated, created);
        return ObjSucceeded(created) ? E_NOINTERFACE : TranslateObjectResult(created);
    }
    const ValidationError result = trust->Create(true);
    if (result != ValidationError::VT_TRUSTED) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectCreateFailed, ToUInt(result));
        return kVerifierNotCreated;
    }
    verifier = std::move(trust);
    return S_OK;
}

}  // namespace pxLib
