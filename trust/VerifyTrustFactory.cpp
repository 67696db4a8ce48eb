#include "trust/VerifyTrustFactory.h"

#include "support/logging/Trace.h"
#include "trust/WinTrustVerifier.h"

#include <atomic>
#include <mutex>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x3b8a4e21, 0x7c0d, 0x4f6b, {0x8e, 0x13, 0x5d, 0x2a, 0x90, 0x41, 0xc7, 0x6e}}};
enum TraceEvent : uint16_t { kNoFactory = 1, kFactoryFailed };

constexpr HRESULT kNoVerifier = static_cast<HRESULT>(0x80047E05);

std::once_flag g_registerOnce;
std::atomic<VerifyTrustFactoryFn> g_factory{nullptr};
std::atomic<HRESULT> g_registrationResult{E_UNEXPECTED};

}  // namespace

HRESULT StaticVerifyTrustFactory(std::unique_ptr<IInstallerVerifier>& verifier) {
    try {
        verifier = std::make_unique<CWinTrustVerifier>();
        return S_OK;
    } catch (...) {
        verifier.reset();
        return kNoVerifier;
    }
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

HRESULT GetTrustVerifier(std::unique_ptr<IInstallerVerifier>& verifier) {
    const VerifyTrustFactoryFn factory = g_factory.load();
    if (!factory) {
        Trace(kTraceSource, TraceLevel::Error, kNoFactory);
        return kNoVerifier;
    }
    const HRESULT hr = factory(verifier);
    if (FAILED(hr)) Trace(kTraceSource, TraceLevel::Error, kFactoryFailed, hr);
    return hr;
}

}  // namespace pxLib
