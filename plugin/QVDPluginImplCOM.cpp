#include "plugin/QVDPluginImplCOM.h"

#include "job/JobDescription.h"
#include "plugin/ComModule.h"
#include "plugin/QVDPluginImpl.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"

#include <new>

namespace qvd::plugin {
namespace {

const pxLib::TraceSource kTraceSource{
    {0xa4e8d217, 0x61c3, 0x4b5e, {0x92, 0x0f, 0x37, 0xc6, 0x5a, 0x8b, 0xe1, 0x44}}};
enum class TraceEvent : uint16_t {
    InnerCreationFailed = 1,
    GetStateFailed,
    StartFailed,
    StartFromValueFailed,
    CancelAndWaitFailed,
};

HRESULT Traced(HRESULT hr, TraceEvent event) {
    if (FAILED(hr)) pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, event, hr);
    return hr;
}

}  // namespace

HRESULT QVDPluginImplCOM::Create(IUnknown* outer, REFIID iid, void** out) {
    auto* object = new (std::nothrow) QVDPluginImplCOM(outer);
    if (!object) return E_OUTOFMEMORY;
    if (!object->CreateInnerPlugin()) {
        delete object;
        return E_OUTOFMEMORY;
    }
    // Hold a reference while asking, so that a refused interface frees the object.
    object->m_inner.AddRef();
    const HRESULT hr = object->m_inner.QueryInterface(iid, out);
    object->m_inner.Release();
    return hr;
}

QVDPluginImplCOM::QVDPluginImplCOM(IUnknown* outer)
    : m_inner(this), m_controlling(outer ? outer : &m_inner) {
    LockComModule();
}

QVDPluginImplCOM::~QVDPluginImplCOM() {
    m_plugin.reset();
    UnlockComModule();
}

bool QVDPluginImplCOM::CreateInnerPlugin() {
    QVDPluginImpl* const created =
        pxLib::GuardedCall(u"QVDPluginImplCOM", __LINE__, static_cast<QVDPluginImpl*>(nullptr),
                           [] { return new QVDPluginImpl(); });
    if (!created) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::InnerCreationFailed);
        return false;
    }
    auto plugin = pxLib::ComPtr<IQVDPlugin>::Share(created);
    if (created->Initialise() < 0) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::InnerCreationFailed);
        return false;
    }
    m_plugin = std::move(plugin);
    return true;
}

HRESULT QVDPluginImplCOM::InnerUnknown::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IUnknown*>(this);
    } else if (IsEqualIID(iid, IID_IQVDPlugin) || IsEqualIID(iid, IID_IQVDPlugin2)) {
        *out = static_cast<IQVDPluginCOM2*>(m_object);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

ULONG QVDPluginImplCOM::InnerUnknown::AddRef() {
    return ++m_object->m_refCount;
}

ULONG QVDPluginImplCOM::InnerUnknown::Release() {
    const ULONG count = --m_object->m_refCount;
    if (count == 0) delete m_object;
    return count;
}

ULONG QVDPluginImplCOM::GetExitCode() {
    return m_plugin->GetExitCode();
}

ULONG QVDPluginImplCOM::GetDetail() {
    return m_plugin->GetDetail();
}

HRESULT QVDPluginImplCOM::GetState(LONG* state) {
    int32_t value = 0;
    const HRESULT hr = m_plugin->GetState(state ? &value : nullptr);
    if (SUCCEEDED(hr)) *state = value;
    return Traced(hr, TraceEvent::GetStateFailed);
}

HRESULT QVDPluginImplCOM::Start(const wchar_t* job, IQVDJobSink* sink) {
    return Traced(m_plugin->Start(job, sink), TraceEvent::StartFailed);
}

HRESULT QVDPluginImplCOM::StartFromValue(const Json::Value& job, IQVDJobSink* sink) {
    const HRESULT hr = pxLib::GuardedCall(u"QVDPluginImplCOM", __LINE__, E_UNEXPECTED, [&] {
        const std::u16string text = job::StyledJobText(job);
        return Start(reinterpret_cast<const wchar_t*>(text.c_str()), sink);
    });
    return hr == E_UNEXPECTED ? Traced(hr, TraceEvent::StartFromValueFailed) : hr;
}

HRESULT QVDPluginImplCOM::CancelAndWait() {
    return Traced(m_plugin->CancelAndWait(), TraceEvent::CancelAndWaitFailed);
}

}  // namespace qvd::plugin
