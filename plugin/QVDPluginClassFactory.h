// The COM class object of QVDPluginImplCOM: a standard class factory that
// lives as long as the module.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace qvd::plugin {

class CQVDPluginClassFactory final : public IClassFactory {
public:
    // IUnknown: the object belongs to the module, so counting never frees it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // An outer unknown may only ask for IUnknown (aggregation rules).
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

}  // namespace qvd::plugin
