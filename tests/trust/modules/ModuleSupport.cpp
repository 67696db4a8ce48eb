#include "ModuleSupport.h"

#include <atomic>
#include <new>

namespace qvdmodule {
namespace {

std::atomic<uint32_t> g_liveFactories{0};

class ModuleFactory final : public pxLib::IModuleFactory {
public:
    explicit ModuleFactory(Creator creator) : m_creator(creator) { ++g_liveFactories; }
    ~ModuleFactory() { --g_liveFactories; }

    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        return Answer<pxLib::IModuleFactory>(this, iid, kFactoryInterface, out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    OBJRESULT CreateInstance(const Guid& iid, void** out) override {
        if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
        *out = nullptr;
        return m_creator(iid, out);
    }
    OBJRESULT CreateInstanceWithOwner(const Guid& iid, void** out, pxLib::IRefObject*) override {
        return CreateInstance(iid, out);
    }

private:
    // The model's generic factory id.
    static constexpr Guid kFactoryInterface = {0x00000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    pxLib::RefCount m_refs;
    Creator m_creator;
};

}  // namespace

OBJRESULT HandOutFactory(Creator creator, void** out) {
    auto* factory = new (std::nothrow) ModuleFactory(creator);
    if (!factory) return pxLib::OBJ_E_OUTOFMEMORY;
    factory->AddRef();
    *out = static_cast<pxLib::IModuleFactory*>(factory);
    return pxLib::OBJ_OK;
}

}  // namespace qvdmodule

QVD_MODULE_EXPORT uint32_t GetObjectCount() {
    return qvdmodule::g_liveFactories.load();
}
