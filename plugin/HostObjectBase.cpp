#include "plugin/HostObjectBase.h"

#include "plugin/ObjectModelTies.h"
#include "support/system/LiveObjects.h"
#include "support/system/ModuleInstance.h"

namespace qvd::plugin {

HostObjectBase::HostObjectBase() {
    pxLib::IncrementLiveObjects();
}

HostObjectBase::~HostObjectBase() {
    m_pOwner.reset();
    pxLib::DecrementLiveObjects();
}

OBJRESULT HostObjectBase::Initialise() {
    return OBJ_OK;
}

void HostObjectBase::SetOwner(IObjectOwner* owner) {
    m_pOwner = pxLib::ComPtr<IObjectOwner>::Share(owner);
}

OBJRESULT HostObjectBase::AttachOwner(IObjectOwner* owner) {
    if (owner) {
        const OBJRESULT r = owner->ObjectAttached(pxLib::CurrentModule());
        if (r < 0) return r;
    }
    SetOwner(owner);
    return OBJ_OK;
}

int64_t HostObjectBase::ReleaseCommon() {
    const int64_t count = --m_nRefCount;
    if (count != 0) return count;
    FinalReleaseHook();
    // The owner hears of the release after the object is gone, and only then
    // lets go of its last reference from here.
    const pxLib::ComPtr<IObjectOwner> owner = m_pOwner;
    delete this;
    // The object is gone whatever the owner answers.
    if (owner) static_cast<void>(owner->ObjectReleased(pxLib::CurrentModule()));
    return 0;
}

}  // namespace qvd::plugin
