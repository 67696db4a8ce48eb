// The worker's hold on the plug-in object and on the module for the length of
// a run: one reference and one module lock, taken together and given back
// together. Start takes the hold and hands it to the worker once the thread
// exists; the worker gives it back as its very last act, so neither the object
// nor the module can go while the run uses them.
#pragma once

#include "plugin/ComModule.h"
#include "plugin/QVDHostInterface.h"

#include <utility>

namespace qvd::plugin {

class WorkerKeepAlive {
public:
    // Takes a reference to object and a module lock.
    static WorkerKeepAlive Take(IObjectBase& object) {
        object.AddRef();
        LockComModule();
        return WorkerKeepAlive(&object);
    }
    // The hold that Take took and that was handed over with release().
    static WorkerKeepAlive Adopt(IObjectBase& object) { return WorkerKeepAlive(&object); }

    WorkerKeepAlive(WorkerKeepAlive&& other) noexcept : m_object(other.release()) {}
    WorkerKeepAlive& operator=(WorkerKeepAlive&&) = delete;
    WorkerKeepAlive(const WorkerKeepAlive&) = delete;
    WorkerKeepAlive& operator=(const WorkerKeepAlive&) = delete;
    // The reference goes first: a host that released the object during the
    // run frees it here, while the module is still locked.
    ~WorkerKeepAlive() {
        if (!m_object) return;
        m_object->Release();
        UnlockComModule();
    }

    // Hands the hold over to whoever adopts it; this owner gives back nothing.
    IObjectBase* release() { return std::exchange(m_object, nullptr); }

private:
    explicit WorkerKeepAlive(IObjectBase* object) : m_object(object) {}
    IObjectBase* m_object;
};

}  // namespace qvd::plugin
