#include "collections/factory/ObjectRepository.h"

#include <atomic>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xB2F82C10, 0xBFD8, 0x4E55, {0x9B, 0xE2, 0x20, 0xB5, 0x92, 0x76, 0x2E, 0x0C}}};

class CEmptyObjectRepository final : public IObjectRepository {
public:
    bool FindModule(const Guid&, std::u16string& modulePath) override {
        modulePath.clear();
        return false;
    }
    OBJRESULT LoadModuleProvider(const std::u16string& modulePath, const Guid& classId, uint32_t,
                                 uint32_t, RefPtr<IClassProvider>& provider) override {
        provider.reset();
        Trace(kTraceSource, TraceLevel::Error, 1, classId, modulePath);
        return OBJ_E_MODULENOTFOUND;
    }
};

CEmptyObjectRepository g_emptyRepository;
std::atomic<IObjectRepository*> g_repository{&g_emptyRepository};

}  // namespace

IObjectRepository& CurrentObjectRepository() {
    return *g_repository.load();
}

IObjectRepository* SetObjectRepository(IObjectRepository* repository) {
    IObjectRepository* previous =
        g_repository.exchange(repository ? repository : &g_emptyRepository);
    return previous == &g_emptyRepository ? nullptr : previous;
}

}  // namespace pxLib
