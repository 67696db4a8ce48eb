// The plug-in object the host drives: it takes one job, runs it on a worker
// thread of its own and exposes the job's state and the installer's exit code.
#pragma once

#include "job/RunSequence.h"
#include "plugin/HostObjectBase.h"
#include "support/system/UniqueHandle.h"

#include <json/json.h>

#include <atomic>
#include <memory>
#include <string>

namespace boost {
class thread;
}

namespace qvd::plugin {

class QVDPluginImpl final : public HostObjectBase, public IQVDPlugin {
public:
    QVDPluginImpl();
    ~QVDPluginImpl() override;

    // Class operations.
    [[nodiscard]] OBJRESULT Initialise() override { return 0; }

    // IQVDPlugin.
    [[nodiscard]] OBJRESULT QueryInterface(const GUID& iid, void** out) override;
    int64_t AddRef() override { return AddRefCommon(); }
    int64_t Release() override { return ReleaseCommon(); }
    uint32_t GetExitCode() override { return m_dwExitCode.load(); }
    uint32_t GetDetail() override { return m_dwDetail.load(); }
    [[nodiscard]] HRESULT GetState(int32_t* state) override;
    [[nodiscard]] HRESULT CancelAndWait() override;
    [[nodiscard]] HRESULT Start(const wchar_t* job, IQVDJobSink* sink) override;

private:
    // The worker's body: carries the job out, then stores the exit code and,
    // as its very last access to this object, the final state, so that a host
    // that saw the state leave 2 may release the object at once.
    void run();

    std::unique_ptr<boost::thread> m_worker;
    bool m_startAccepted = false;  // Start takes one job per object
    std::atomic<int32_t> m_nState{QVD_STATE_CREATED};
    std::atomic<uint32_t> m_dwDetail{0};
    std::atomic<uint32_t> m_dwExitCode{job::kExitCodeNotKnown};
    pxLib::UniqueHandle m_hCancelEvent;
    Json::Value m_job;
    IQVDJobSink* m_pSink = nullptr;
};

}  // namespace qvd::plugin
