// The COM face of the plug-in: a wrapper (aggregatable) that forwards every
// call to an inner qvd::plugin::QVDPluginImpl.
#pragma once

#include "plugin/QVDHostInterface.h"
#include "support/system/ComPtr.h"

#include <atomic>

namespace qvd::plugin {

class QVDPluginImplCOM final : public IQVDPluginCOM2 {
public:
    // The class object's create-instance; outer is the controlling unknown or null.
    [[nodiscard]] static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

    // IUnknown, delegated to the controlling unknown.
    [[nodiscard]] HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return m_controlling->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_controlling->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_controlling->Release(); }

    ULONG STDMETHODCALLTYPE GetExitCode() override;
    ULONG STDMETHODCALLTYPE GetDetail() override;
    [[nodiscard]] HRESULT STDMETHODCALLTYPE GetState(LONG* state) override;
    [[nodiscard]] HRESULT STDMETHODCALLTYPE StartFromValue(const Json::Value& job,
                                                           IQVDJobSink* sink) override;
    [[nodiscard]] HRESULT STDMETHODCALLTYPE CancelAndWait() override;
    [[nodiscard]] HRESULT STDMETHODCALLTYPE Start(const wchar_t* job, IQVDJobSink* sink) override;

private:
    // The object's own identity and reference count (the non-delegating unknown).
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(QVDPluginImplCOM* object) : m_object(object) {}
        [[nodiscard]] HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        QVDPluginImplCOM* m_object;
    };

    explicit QVDPluginImplCOM(IUnknown* outer);
    ~QVDPluginImplCOM();
    [[nodiscard]] bool CreateInnerPlugin();

    std::atomic<ULONG> m_refCount{0};
    InnerUnknown m_inner;
    IUnknown* m_controlling;
    pxLib::ComPtr<IQVDPlugin> m_plugin;
};

}  // namespace qvd::plugin
