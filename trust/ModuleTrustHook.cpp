#include "trust/ModuleTrustHook.h"

#include "support/logging/Trace.h"
#include "support/paths/PathExpansion.h"
#include "support/text/Utf.h"
#include "trust/VerifyTrustInterfaces.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xA3F06D18, 0xC74B, 0x4925, {0x86, 0x1E, 0x5B, 0x3D, 0x92, 0x07, 0xE4, 0xCA}}};
enum class TraceEvent : uint16_t {
    NoVerifierModule = 1,
    NoVerifier,
    ModuleRefused,
    ModuleAccepted
};

constexpr wchar_t kVerifierFolder[] = L"%PXROOTX64%";
constexpr wchar_t kVerifierModule[] = L"pxVrTrst.dll";

}  // namespace

// The verifier module, loaded without the hook, and its verifier.
class ModuleTrustHook::Verifier {
public:
    OBJRESULT Load() {
        std::wstring folder;
        if (!ExpandPath(kVerifierFolder, folder)) return OBJ_E_MODULENOTFOUND;
        OBJRESULT result = m_module.Load(folder + L"\\" + kVerifierModule);
        if (!ObjSucceeded(result)) return result;
        RefPtr<IModuleFactory> factory;
        result = m_module.GetFactory(FACTORYID_VerifyTrustModule, factory);
        if (!ObjSucceeded(result)) return result;
        RefPtr<IRefObject> object;
        result = factory->CreateInstance(IID_IRefObject, object.put_void());
        if (!ObjSucceeded(result)) return result;
        result = QueryInto(object.get(), IID_IVerifyTrust, m_trust);
        if (!ObjSucceeded(result) || !m_trust)
            return ObjSucceeded(result) ? OBJ_E_NOINTERFACE : result;
        if (m_trust->Create(true) != ValidationError::VT_TRUSTED) {
            m_trust.reset();
            return OBJ_E_INVALIDARG;
        }
        RefPtr<IVerifyTrustCache> cache;
        if (ObjSucceeded(QueryInto(m_trust.get(), IID_IVerifyTrustCache, cache)) && cache)
            cache->SetCacheEnabled(true);
        return OBJ_OK;
    }
    IVerifyTrust* Trust() const { return m_trust.get(); }

private:
    ModuleLoader m_module;         // unloaded last,
    RefPtr<IVerifyTrust> m_trust;  // after its verifier
};

ModuleTrustHook::ModuleTrustHook() = default;
ModuleTrustHook::~ModuleTrustHook() = default;

void ModuleTrustHook::Reset() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_verifier.reset();
    m_loaded = false;
}

ModuleTrustHook::Verifier* ModuleTrustHook::LoadVerifier() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_loaded) return m_verifier.get();
    m_loaded = true;
    auto verifier = std::make_unique<Verifier>();
    const OBJRESULT result = verifier->Load();
    if (!ObjSucceeded(result)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoVerifierModule, result);
        return nullptr;
    }
    m_verifier = std::move(verifier);
    return m_verifier.get();
}

OBJRESULT ModuleTrustHook::CheckModule(const std::u16string& modulePath) {
    const DWORD attributes = GetFileAttributesW(AsWide(modulePath));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return OBJ_E_MODULENOTFOUND;
    Verifier* verifier = LoadVerifier();
    if (!verifier) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoVerifier, modulePath);
        return OBJ_OK;
    }
    const ValidationError result =
        verifier->Trust()->VerifyFile(AsWide(modulePath), TrustLevel::SignedByMaker);
    if (result == ValidationError::VT_NOT_TRUSTED) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ModuleRefused, modulePath);
        return OBJ_E_MODULENOTTRUSTED;
    }
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::ModuleAccepted, modulePath,
          ToUInt(result));
    return OBJ_OK;
}

ModuleTrustHook& ProcessModuleTrustHook() {
    static ModuleTrustHook* const hook = new ModuleTrustHook;
    return *hook;
}

void InstallModuleTrustHook() {
    SetModuleTrustHook(&ProcessModuleTrustHook());
}

}  // namespace pxLib
