#include "collections/factory/ObjectRepository.h"

#include <atomic>

#ifdef _WIN32
#include "collections/factory/RegistryObjectRepository.h"
#endif

namespace pxLib {
namespace {

#ifndef _WIN32
const TraceSource kTraceSource{
    {0xB2F82C10, 0xBFD8, 0x4E55, {0x9B, 0xE2, 0x20, 0xB5, 0x92, 0x76, 0x2E, 0x0C}}};
enum class TraceEvent : uint16_t {
    ModuleLoadingUnavailable = 1,
};

// The native build loads no modules.
class EmptyObjectRepository final : public IObjectRepository {
public:
    bool FindModule(const Guid&, std::u16string& modulePath) override {
        modulePath.clear();
        return false;
    }
    OBJRESULT LoadModuleProvider(const std::u16string& modulePath, const Guid& classId, uint32_t,
                                 uint32_t, RefPtr<IClassProvider>& provider) override {
        provider.reset();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ModuleLoadingUnavailable, classId,
              modulePath);
        return OBJ_E_MODULENOTFOUND;
    }
};
#endif

IObjectRepository& DefaultRepository() {
#ifdef _WIN32
    static RegistryObjectRepository repository;
    return repository;
#else
    static EmptyObjectRepository repository;
    return repository;
#endif
}

std::atomic<IObjectRepository*> g_repository{nullptr};

}  // namespace

IObjectRepository& CurrentObjectRepository() {
    IObjectRepository* repository = g_repository.load();
    return repository ? *repository : DefaultRepository();
}

IObjectRepository* SetObjectRepository(IObjectRepository* repository) {
    return g_repository.exchange(repository);
}

}  // namespace pxLib
