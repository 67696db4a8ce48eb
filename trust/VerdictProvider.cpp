#include "trust/VerdictProvider.h"

#include "support/logging/Trace.h"
#include "support/paths/PathExpansion.h"
#include "support/text/Utf.h"
#include "trust/CallTiming.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x58C3A1E4, 0x0B7D, 0x4F96, {0x82, 0xD5, 0x6E, 0x13, 0xF0, 0x4C, 0x97, 0x2A}}};
enum class TraceEvent : uint16_t {
    ModuleMissing = 1,
    SetupFailed,
    Ready,
    SlowCall,
    NoVerdict,
};

constexpr wchar_t kProviderFolder[] = L"%TavRUQ64%";
constexpr wchar_t kProviderModule[] = L"RUQCli64.dll";

}  // namespace

OBJRESULT VerdictProvider::Setup() {
    if (!m_module.IsLoaded()) {
        std::wstring folder;
        if (!ExpandPath(kProviderFolder, folder)) return OBJ_E_MODULENOTFOUND;
        const OBJRESULT loaded = m_module.Load(folder + L"\\" + kProviderModule);
        if (!ObjSucceeded(loaded)) return loaded;
    }
    RefPtr<IVerdictRoot> root;
    {
        RefPtr<IModuleFactory> factory;
        OBJRESULT result = m_module.GetFactory(FACTORYID_VerdictProvider, factory);
        if (!ObjSucceeded(result)) return result;
        result = factory->CreateInstance(IID_IVerdictRoot, root.put_void());
        if (!ObjSucceeded(result)) return result;
        if (!root) return OBJ_E_NOINTERFACE;
    }
    RefPtr<IVerdictAttributeSet> set;
    OBJRESULT result = root->GetAttributeSet(kVerdictSetName, nullptr, set.put());
    if (!ObjSucceeded(result) || !set) return ObjSucceeded(result) ? OBJ_E_NOINTERFACE : result;
    RefPtr<IVerdictAttribute> attribute;
    result = set->GetAttribute(kVerdictValueName, attribute.put());
    if (!ObjSucceeded(result) || !attribute)
        return ObjSucceeded(result) ? OBJ_E_NOINTERFACE : result;
    uint32_t type = 0, flags = 0;
    if (!ObjSucceeded(attribute->GetType(&type)) || type != kVerdictValueType ||
        !ObjSucceeded(attribute->GetFlags(&flags)) ||
        (flags & kVerdictValueReadable) != kVerdictValueReadable)
        return OBJ_E_INVALIDARG;
    m_root = std::move(root);
    return OBJ_OK;
}

void VerdictProvider::Initialise() {
    if (m_initialised.load() != 0) return;
    std::lock_guard<std::mutex> lock(m_initialiseLock);
    if (m_initialised.load() != 0 || m_attempted) return;
    m_attempted = true;
    const OBJRESULT result = Setup();
    if (!ObjSucceeded(result)) {
        Trace(kTraceSource,
              result == OBJ_E_MODULENOTFOUND ? TraceLevel::Information : TraceLevel::Error,
              result == OBJ_E_MODULENOTFOUND ? TraceEvent::ModuleMissing : TraceEvent::SetupFailed,
              result);
        return;
    }
    ++m_initialised;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::Ready);
}

void VerdictProvider::Release() {
    std::lock_guard<std::mutex> lock(m_initialiseLock);
    m_root.reset();
    m_initialised = 0;
    m_attempted = false;
}

bool VerdictProvider::ReadFlags(HANDLE file, uint32_t& flags) {
    const auto timed = [](const char16_t* what, auto call) {
        const CallTimer timer;
        const OBJRESULT result = call();
        if (const uint32_t ms = timer.SlowMs())
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::SlowCall, what, ms);
        return result;
    };
    RefPtr<IVerdictAttributeSet> set;
    RefPtr<IVerdictValueList> values;
    const char16_t* const names[] = {kVerdictValueName};
    OBJRESULT result = timed(u"GetAttributeSet", [&] {
        return m_root->GetAttributeSet(kVerdictSetName, file, set.put());
    });
    if (ObjSucceeded(result) && set)
        result = timed(u"GetValues", [&] { return set->GetValues(names, 1, values.put()); });
    if (ObjSucceeded(result) && set && values)
        result = timed(u"GetUInt32", [&] { return values->GetUInt32(kVerdictValueName, &flags); });
    if (!ObjSucceeded(result) || !set || !values) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoVerdict, result);
        return false;
    }
    return true;
}

}  // namespace pxLib
