#include "plugin/QVDPluginClassFactory.h"

#include "plugin/ComModule.h"
#include "plugin/QVDPluginImplCOM.h"

namespace qvd::plugin {

HRESULT QVDPluginClassFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG QVDPluginClassFactory::AddRef() {
    const ULONG count = ++m_refCount;
    if (count == 2) LockComModule();
    return count;
}

ULONG QVDPluginClassFactory::Release() {
    const ULONG count = --m_refCount;
    if (count == 1) UnlockComModule();
    return count;
}

HRESULT QVDPluginClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return QVDPluginImplCOM::Create(outer, iid, out);
}

HRESULT QVDPluginClassFactory::LockServer(BOOL lock) {
    if (lock) {
        LockComModule();
    } else {
        UnlockComModule();
    }
    return S_OK;
}

}  // namespace qvd::plugin
