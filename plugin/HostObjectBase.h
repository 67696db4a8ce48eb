// The common part of every host-model object of this module: the atomic
// reference count, the optional owner and the live-object count.
#pragma once

#include "plugin/QVDHostInterface.h"
#include "support/system/ComPtr.h"

#include <atomic>

namespace qvd::plugin {

class HostObjectBase {
public:
    HostObjectBase();
    virtual ~HostObjectBase();
    HostObjectBase(const HostObjectBase&) = delete;
    HostObjectBase& operator=(const HostObjectBase&) = delete;

    [[nodiscard]] virtual OBJRESULT Initialise();
    virtual void FinalReleaseHook() {}
    IObjectOwner* GetOwner() const { return m_pOwner.get(); }
    // Adds a reference to the new owner and releases the old one.
    void SetOwner(IObjectOwner* owner);
    // Tells the owner about this module first; a refusal is returned unchanged.
    [[nodiscard]] OBJRESULT AttachOwner(IObjectOwner* owner);

protected:
    int64_t AddRefCommon() { return ++m_nRefCount; }
    // At zero: final-release hook, destruction, then the owner hears of it.
    int64_t ReleaseCommon();

private:
    std::atomic<int64_t> m_nRefCount{0};
    pxLib::ComPtr<IObjectOwner> m_pOwner;
};

[[nodiscard]] inline bool IsSameGuid(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b) != FALSE;
}

}  // namespace qvd::plugin
