// A module that provides one class (under two ids), found through the
// object repository and loaded only when the module trust hook accepts it.
#include "ModuleSupport.h"
#include "TestObject.h"

namespace {

class TestObject final : public qvdmodule::ITestObject {
public:
    qvdmodule::OBJRESULT QueryInterface(const qvdmodule::Guid& iid, void** out) override {
        return qvdmodule::Answer<qvdmodule::ITestObject>(this, iid, qvdmodule::IID_ITestObject,
                                                         out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    uint32_t Answer() override { return qvdmodule::kTestObjectAnswer; }

private:
    pxLib::RefCount m_refs;
};

const qvdmodule::Guid kServed[] = {qvdmodule::CLSID_TestObject, qvdmodule::CLSID_TestStoreObject};

}  // namespace

QVD_MODULE_EXPORT qvdmodule::OBJRESULT GetFactory(const qvdmodule::Guid* id, void** out) {
    return qvdmodule::ServeFactory(id, out, kServed, &qvdmodule::MakeObject<TestObject>);
}
