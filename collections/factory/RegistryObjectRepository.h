// The object repository of the Windows build: which module implements an
// object id, from the shared settings store (through the settings module
// "pxSet.dll" in the "%PXROOTX64%" folder, key "Plexor\OBJID") and from the
// product's registry (HKLM\<product registry root>\OBJID), one subkey per
// object id with the module path in its "InProc64" value. Filled on first use
// and once more when a lookup misses. Modules are loaded only after the
// module trust hook accepts them.
#pragma once

#include "collections/factory/ModuleLoader.h"
#include "collections/factory/ObjectRepository.h"

#include <map>
#include <mutex>
#include <string>

namespace pxLib {

// Asked before a module of the repository (and the settings module) is loaded.
// The trust layer installs the hook that checks the module's signature; until
// then a module is accepted when its file exists.
class IModuleTrustHook {
public:
    virtual ~IModuleTrustHook() = default;
    // OBJ_OK to load it; OBJ_E_MODULENOTFOUND when the file does not exist,
    // OBJ_E_MODULENOTTRUSTED when its signature is refused.
    [[nodiscard]] virtual OBJRESULT CheckModule(const std::u16string& modulePath) = 0;
};
IModuleTrustHook& CurrentModuleTrustHook();
// Installs hook (nullptr: the default again); it must live as long as it is installed.
void SetModuleTrustHook(IModuleTrustHook* hook);

// Loads a module after the hook accepted it.
[[nodiscard]] OBJRESULT LoadCheckedModule(const std::u16string& modulePath, ModuleLoader& module);

class RegistryObjectRepository final : public IObjectRepository {
public:
    [[nodiscard]] bool FindModule(const Guid& classId, std::u16string& modulePath) override;
    [[nodiscard]] OBJRESULT LoadModuleProvider(const std::u16string& modulePath,
                                               const Guid& classId, uint32_t loadFlags,
                                               uint32_t options,
                                               RefPtr<IClassProvider>& provider) override;
    // Forgets what was read; the next lookup reads both sources again.
    void Forget();

private:
    void Fill();

    std::mutex m_lock;
    bool m_filled = false;
    std::map<Guid, std::u16string> m_modules;
};

}  // namespace pxLib
