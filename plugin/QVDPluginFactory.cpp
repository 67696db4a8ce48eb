#include "plugin/QVDPluginFactory.h"

#include "plugin/QVDPluginImpl.h"
#include "support/errors/GuardedCall.h"

#include <new>

namespace qvd::plugin {

OBJRESULT QVDPluginFactory::QueryInterface(const GUID& iid, void** out) {
    if (!out) return OBJ_E_INVALIDARG;
    if (IsSameGuid(iid, IID_IObjectBase) || IsSameGuid(iid, IID_IObjectFactory) ||
        IsSameGuid(iid, IID_IPluginFactory)) {
        *out = static_cast<IPluginFactory*>(this);
        AddRef();
        return OBJ_OK;
    }
    *out = nullptr;
    return OBJ_E_NOINTERFACE;
}

OBJRESULT QVDPluginFactory::CreateInstance(const GUID& iid, void** out) {
    return CreateInstanceWithOwner(iid, out, nullptr);
}

OBJRESULT QVDPluginFactory::CreateInstanceWithOwner(const GUID& iid, void** out,
                                                    IObjectOwner* owner) {
    if (!out) return OBJ_E_INVALIDARG;
    *out = nullptr;
    QVDPluginImpl* const object =
        pxLib::GuardedCall(u"QVDPluginFactory", __LINE__, static_cast<QVDPluginImpl*>(nullptr),
                           [] { return new QVDPluginImpl(); });
    if (!object) return OBJ_E_OUTOFMEMORY;
    const OBJRESULT found = object->QueryInterface(iid, out);
    if (found < 0) {
        delete object;  // no reference was handed out
        return found;
    }
    const OBJRESULT initialised = object->Initialise();
    if (initialised < 0) {
        *out = nullptr;
        delete object;
        return initialised;
    }
    if (owner) object->SetOwner(owner);
    return initialised;
}

OBJRESULT GetPluginFactory(const GUID* factoryId, void** out) {
    if (!out || !factoryId || !IsSameGuid(*factoryId, FACTORYID_QVDPlugin)) return OBJ_E_INVALIDARG;
    QVDPluginFactory* const factory = new (std::nothrow) QVDPluginFactory();
    if (!factory) return OBJ_E_OUTOFMEMORY;
    IPluginFactory* face = factory;
    *out = face;
    face->AddRef();
    return OBJ_OK;
}

}  // namespace qvd::plugin
