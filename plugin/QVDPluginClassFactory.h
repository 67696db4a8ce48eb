// The COM class object of QVDPluginImplCOM: a standard class factory that
// lives as long as the module. The module's own cached reference is its
// first; every reference a client holds beyond it keeps the module locked,
// so that DllCanUnloadNow says no while anyone could still create objects.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>

namespace qvd::plugin {

class QVDPluginClassFactory final : public IClassFactory {
public:
    // IUnknown: the object belongs to the module, so counting never frees it.
    [[nodiscard]] HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // An outer unknown may only ask for IUnknown (aggregation rules).
    [[nodiscard]] HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                                           void** out) override;
    [[nodiscard]] HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    std::atomic<ULONG> m_refCount{1};  // the module's cached reference
};

}  // namespace qvd::plugin
