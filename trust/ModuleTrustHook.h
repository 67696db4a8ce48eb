// The module trust hook: before the object repository loads a module, a
// verifier from the verifier module ("pxVrTrst.dll" in the "%PXROOTX64%"
// folder, with its file cache on) checks that the module is the maker's.
#pragma once

#include "collections/factory/RegistryObjectRepository.h"

#include <memory>

namespace pxLib {

class ModuleTrustHook final : public IModuleTrustHook {
public:
    ModuleTrustHook();
    ~ModuleTrustHook() override;
    // OBJ_E_MODULENOTFOUND for a missing file; OBJ_OK without a verifier;
    // OBJ_E_MODULENOTTRUSTED when the verifier answers VT_NOT_TRUSTED; any
    // other answer accepts the module.
    [[nodiscard]] OBJRESULT CheckModule(const std::u16string& modulePath) override;
    // For tests: forgets the verifier, so the next check loads it again.
    void Reset();

private:
    class Verifier;
    Verifier* LoadVerifier();

    std::mutex m_lock;
    bool m_loaded = false;
    std::unique_ptr<Verifier> m_verifier;
};

// The module's hook, installed in the object repository. It lives until the
// process ends: its verifier module is never unloaded from DllMain.
ModuleTrustHook& ProcessModuleTrustHook();
void InstallModuleTrustHook();

}  // namespace pxLib
