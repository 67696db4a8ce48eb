#include "collections/factory/RegistrationRequests.h"

#include "collections/factory/ObjectRepository.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

// Answers only its own id, so a repeated creator registration can find it.
constexpr Guid IID_CCreatorProvider = {
    0x70F0173E, 0x7218, 0x4BE1, {0xBA, 0x93, 0x6A, 0xCB, 0x7E, 0x88, 0x5C, 0x4B}};

class CreatorProvider final : public IClassProvider {
public:
    explicit CreatorProvider(ObjectCreator creator) : m_creator(creator) {}

    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        if (iid == IID_IRefObject || iid == IID_IClassProvider) {
            *out = static_cast<IClassProvider*>(this);
            AddRef();
            return OBJ_OK;
        }
        if (iid == IID_CCreatorProvider) {
            *out = this;
            AddRef();
            return OBJ_OK;
        }
        *out = nullptr;
        return OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    OBJRESULT Initialise() override { return OBJ_OK; }
    OBJRESULT CreateInstance(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        *out = nullptr;
        return m_creator(iid, out);
    }

    ObjectCreator Creator() const { return m_creator; }

private:
    RefCount m_refs;
    ObjectCreator m_creator;
};

}  // namespace

OBJRESULT CreatorRequest::Prepare() {
    return m_creator ? OBJ_OK : OBJ_E_INVALIDARG;
}

OBJRESULT CreatorRequest::MakeProvider(RefPtr<IClassProvider>& provider) {
    provider = RefPtr<IClassProvider>(new CreatorProvider(m_creator));
    return OBJ_OK;
}

OBJRESULT CreatorRequest::CheckExisting(const ClassEntry& entry) const {
    RefPtr<CreatorProvider> existing;
    if (!entry.provider ||
        !ObjSucceeded(entry.provider->QueryInterface(IID_CCreatorProvider, existing.put_void())))
        return OBJ_E_INVALIDARG;
    return existing->Creator() == m_creator ? OBJ_OK : OBJ_E_INVALIDARG;
}

OBJRESULT ProviderRequest::Prepare() {
    return m_provider ? OBJ_OK : OBJ_E_INVALIDARG;
}

OBJRESULT ProviderRequest::MakeProvider(RefPtr<IClassProvider>& provider) {
    provider = RefPtr<IClassProvider>(m_provider);
    return OBJ_OK;
}

OBJRESULT ProviderRequest::CheckExisting(const ClassEntry& entry) const {
    return entry.provider.get() == m_provider ? OBJ_OK : OBJ_E_INVALIDARG;
}

OBJRESULT ModuleRequest::Prepare() {
    return m_modulePath.empty() ? OBJ_E_INVALIDARG : OBJ_OK;
}

OBJRESULT ModuleRequest::MakeProvider(RefPtr<IClassProvider>& provider) {
    return CurrentObjectRepository().LoadModuleProvider(m_modulePath, m_classId, m_loadFlags,
                                                        m_options, provider);
}

OBJRESULT ModuleRequest::CheckExisting(const ClassEntry& entry) const {
    return EqualsIgnoreAsciiCase(entry.modulePath, m_modulePath) ? OBJ_OK : OBJ_E_INVALIDARG;
}

}  // namespace pxLib
