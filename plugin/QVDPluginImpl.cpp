#include "plugin/QVDPluginImpl.h"

#include "job/JobDescription.h"
#include "job/RunSequence.h"
#include "plugin/ComModule.h"
#include "plugin/SinkReporter.h"
#include "plugin/WorkerKeepAlive.h"
#include "support/errors/ErrorCode.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"

#include <boost/thread/thread.hpp>
#include <functional>
#include <new>

namespace qvd::plugin {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x6c1f0d3a, 0x52b7, 0x4e8e, {0x9a, 0x41, 0x0b, 0x77, 0x3c, 0x5e, 0x12, 0xd9}}};

enum class TraceEvent : uint16_t {
    StartNullArgument = 1,
    StartRefused,
    GetStateNullPointer = 6,
};

// The run's states and statuses reach hosts as the public header spells them.
template <class Enum>
constexpr int32_t Value(Enum e) {
    return static_cast<int32_t>(e);
}
using job::JobState;
using job::JobStatus;
static_assert(Value(JobState::Created) == QVD_STATE_CREATED &&
              Value(JobState::Running) == QVD_STATE_RUNNING &&
              Value(JobState::Installed) == QVD_STATE_INSTALLED &&
              Value(JobState::Rebooting) == QVD_STATE_REBOOTING &&
              Value(JobState::RebootRequired) == QVD_STATE_REBOOT_REQUIRED &&
              Value(JobState::NotInstalled) == QVD_STATE_NOT_INSTALLED &&
              Value(JobState::InstallerUnreported) == QVD_STATE_INSTALLER_UNREPORTED &&
              Value(JobState::InstallerReported) == QVD_STATE_INSTALLER_REPORTED &&
              Value(JobState::InstallerDeclined) == QVD_STATE_INSTALLER_DECLINED &&
              Value(JobState::Failed) == QVD_STATE_FAILED &&
              Value(JobState::LaunchFailed) == QVD_STATE_LAUNCH_FAILED &&
              Value(JobState::InstallerFailed) == QVD_STATE_INSTALLER_FAILED);
static_assert(Value(JobStatus::InstallerStarted) == QVD_STATUS_INSTALLER_STARTED &&
              Value(JobStatus::Waiting) == QVD_STATUS_WAITING &&
              Value(JobStatus::InstalledAfterWait) == QVD_STATUS_INSTALLED_AFTER_WAIT &&
              Value(JobStatus::AlreadyInstalled) == QVD_STATUS_ALREADY_INSTALLED &&
              Value(JobStatus::Declined) == QVD_STATUS_DECLINED &&
              Value(JobStatus::Failed) == QVD_STATUS_FAILED);
static_assert(
    job::run_errors::kNoInstallerEntry.code == static_cast<uint32_t>(QVD_E_NO_INSTALLER) &&
    job::run_errors::kException.code == static_cast<uint32_t>(QVD_E_EXCEPTION) &&
    job::run_errors::kUnrecognisedExitCode.code == static_cast<uint32_t>(QVD_E_INSTALLER_FAILED) &&
    job::run_errors::kElevationDeclined.code == static_cast<uint32_t>(QVD_E_DECLINED) &&
    job::run_errors::kShellLaunchFailed.code == static_cast<uint32_t>(QVD_E_LAUNCH_FAILED));

constexpr HRESULT kErrorBusy = pxLib::FailureFromErrorCode(ERROR_BUSY);
constexpr HRESULT kErrorIllegalMethodCall =
    static_cast<HRESULT>(0x8000000E);  // E_ILLEGAL_METHOD_CALL

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
    // Destroyed last, after the final state is stored.
    const WorkerKeepAlive keepAlive = WorkerKeepAlive::Adopt(*static_cast<IQVDPlugin*>(this));
    SinkReporter reporter(m_pSink);
    job::RunSequence sequence(m_job, reporter, m_hCancelEvent.get());
    const job::RunResult result = sequence.Run();
    m_dwExitCode = result.exitCode;
    m_nState = Value(result.state);
}

HRESULT QVDPluginImpl::GetState(int32_t* state) {
    if (!state) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::GetStateNullPointer);
        return E_POINTER;
    }
    *state = m_nState.load();
    return S_OK;
}

HRESULT QVDPluginImpl::Start(const wchar_t* job, IQVDJobSink* sink) {
    if (!job || !sink) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::StartNullArgument);
        return E_INVALIDARG;
    }
    // One job per object: a second job would run on the fields of the first,
    // and after the first ended its cancel event is signalled for good.
    if (m_startAccepted) {
        const bool running = m_nState.load() == QVD_STATE_RUNNING;
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::StartRefused,
                     running ? 1u : 0u);
        return running ? kErrorBusy : kErrorIllegalMethodCall;
    }
    const HRESULT started = pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, E_UNEXPECTED, [&] {
        m_job = Json::Value();
        m_job = job::ParseJobText(reinterpret_cast<const char16_t*>(job));
        m_pSink = sink;
        m_nState = QVD_STATE_RUNNING;
        // Without a worker the hold goes back here; the caller's reference keeps the object.
        WorkerKeepAlive keepAlive = WorkerKeepAlive::Take(*static_cast<IQVDPlugin*>(this));
        m_worker = std::make_unique<boost::thread>(std::bind(&QVDPluginImpl::run, this));
        keepAlive.release();
        return S_OK;
    });
    if (FAILED(started)) {
        // No worker runs: a state of 2 would never end.
        m_nState = QVD_STATE_CREATED;
        m_pSink = nullptr;
        return started;
    }
    m_startAccepted = true;
    return S_OK;
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
