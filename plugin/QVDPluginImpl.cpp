#include "plugin/QVDPluginImpl.h"

#include "job/JobDescription.h"
#include "job/RunSequence.h"
#include "plugin/SinkReporter.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"

#include <boost/thread/thread.hpp>
#include <functional>
#include <new>

namespace qvd::plugin {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x6c1f0d3a, 0x52b7, 0x4e8e, {0x9a, 0x41, 0x0b, 0x77, 0x3c, 0x5e, 0x12, 0xd9}}};

enum TraceEvent : uint16_t {
    kStartNullArgument = 1,
    kStartRefusedBusy,
    kGetStateNullPointer = 6,
};

constexpr HRESULT kErrorBusy = static_cast<HRESULT>(0x800700AA);  // ERROR_BUSY

}  // namespace

QVDPluginImpl::QVDPluginImpl() {
    m_hCancelEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hCancelEvent) throw std::bad_alloc();
}

QVDPluginImpl::~QVDPluginImpl() {
    m_job = Json::Value();
    m_hCancelEvent.reset();
    // A worker that is still running is left to finish on its own.
    if (m_worker) {
        m_worker->detach();
        m_worker.reset();
    }
}

OBJRESULT QVDPluginImpl::QueryInterface(const GUID& iid, void** out) {
    if (!out) return OBJ_E_INVALIDARG;
    if (IsSameGuid(iid, IID_IObjectBase) || IsSameGuid(iid, IID_IQVDPlugin) ||
        IsSameGuid(iid, IID_IQVDPlugin2)) {
        *out = static_cast<IQVDPlugin*>(this);
        AddRef();
        return OBJ_OK;
    }
    *out = nullptr;
    return OBJ_E_NOINTERFACE;
}

void QVDPluginImpl::run() {
    SinkReporter reporter(m_pSink);
    job::RunSequence sequence(m_job, reporter, m_hCancelEvent.get());
    const job::JobState state = sequence.Run();
    m_dwExitCode = sequence.ExitCode();
    m_nState = static_cast<int32_t>(state);
}

HRESULT QVDPluginImpl::GetState(int32_t* state) {
    if (!state) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, kGetStateNullPointer);
        return E_POINTER;
    }
    *state = m_nState.load();
    return S_OK;
}

HRESULT QVDPluginImpl::Start(const wchar_t* job, IQVDJobSink* sink) {
    if (!job || !sink) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, kStartNullArgument);
        return E_INVALIDARG;
    }
    // The worker writes this object's fields until it stores a final state; a
    // second worker on the same fields would race with it.
    if (m_nState.load() == QVD_STATE_RUNNING) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, kStartRefusedBusy);
        return kErrorBusy;
    }
    const int32_t previousState = m_nState.load();
    IQVDJobSink* const previousSink = m_pSink;
    const HRESULT started = pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, E_UNEXPECTED, [&] {
        m_job = Json::Value();
        m_job = job::ParseJobText(reinterpret_cast<const char16_t*>(job));
        m_pSink = sink;
        m_nState = QVD_STATE_RUNNING;
        auto worker = std::make_unique<boost::thread>(std::bind(&QVDPluginImpl::run, this));
        if (m_worker) m_worker->detach();
        m_worker = std::move(worker);
        return S_OK;
    });
    if (FAILED(started)) {
        // No worker runs: a state of 2 would never end.
        m_nState = previousState;
        m_pSink = previousSink;
    }
    return started;
}

HRESULT QVDPluginImpl::StartFromValue(const Json::Value& job, IQVDJobSink* sink) {
    return pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, E_UNEXPECTED, [&] {
        const std::u16string text = job::StyledJobText(job);
        return Start(reinterpret_cast<const wchar_t*>(text.c_str()), sink);
    });
}

HRESULT QVDPluginImpl::CancelAndWait() {
    SetEvent(m_hCancelEvent.get());
    if (!m_worker) return S_OK;
    // Called from the worker itself (inside a sink call) the thread library
    // refuses: "boost thread: trying joining itself".
    return pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, E_UNEXPECTED, [&] {
        m_worker->join();
        return S_OK;
    });
}

}  // namespace qvd::plugin
