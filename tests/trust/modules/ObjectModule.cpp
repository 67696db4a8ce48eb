// A module that provides one class (under two ids), found through the
// object repository and loaded only when the module trust hook accepts it.
#include "ModuleSupport.h"
#include "TestObject.h"

#include <new>

namespace {

class CTestObject final : public qvdmodule::ITestObject {
public:
    qvdmodule::OBJRESULT QueryInterface(const qvdmodule::Guid& iid, void** out) override {
        return qvdmodule::Answer<qvdmodule::ITestObject>(this, iid, qvdmodule::IID_ITestObject,
                                                         out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    uint32_t Answer() override { return qvdmodule::kTestObjectAnswer; }

private:
    pxLib::CRefCount m_refs;
};

qvdmodule::OBJRESULT CreateObject(const qvdmodule::Guid& iid, void** out) {
    pxLib::RefPtr<CTestObject> object(new (std::nothrow) CTestObject);
    if (!object) return pxLib::OBJ_E_OUTOFMEMORY;
    return object->QueryInterface(iid, out);
}

}  // namespace

QVD_MODULE_EXPORT qvdmodule::OBJRESULT GetFactory(const qvdmodule::Guid* id, void** out) {
    if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
    *out = nullptr;
    if (id == nullptr ||
        (*id != qvdmodule::CLSID_TestObject && *id != qvdmodule::CLSID_TestStoreObject))
        return pxLib::OBJ_E_INVALIDARG;
    return qvdmodule::HandOutFactory(&CreateObject, out);
}
