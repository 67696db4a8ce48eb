#include "plugin/HostObjectBase.h"

#include "plugin/LiveObjectCounter.h"
#include "support/system/ModuleInstance.h"

namespace qvd::plugin {

CHostObjectBase::CHostObjectBase() {
    IncrementLiveObjects();
}

CHostObjectBase::~CHostObjectBase() {
    if (m_pOwner) m_pOwner->Release();
    DecrementLiveObjects();
}

OBJRESULT CHostObjectBase::Initialise() {
    return OBJ_OK;
}

void CHostObjectBase::SetOwner(IObjectOwner* owner) {
    if (owner) owner->AddRef();
    if (m_pOwner) m_pOwner->Release();
    m_pOwner = owner;
}

OBJRESULT CHostObjectBase::AttachOwner(IObjectOwner* owner) {
    if (owner) {
        const OBJRESULT r = owner->ObjectAttached(pxLib::CurrentModule());
        if (r < 0) return r;
    }
    SetOwner(owner);
    return OBJ_OK;
}

int64_t CHostObjectBase::ReleaseCommon() {
    const int64_t count = --m_nRefCount;
    if (count != 0) return count;
    FinalReleaseHook();
    IObjectOwner* owner = m_pOwner;
    if (owner) owner->AddRef();
    delete this;
    if (owner) {
        owner->ObjectReleased(pxLib::CurrentModule());
        owner->Release();
    }
    return 0;
}

}  // namespace qvd::plugin
