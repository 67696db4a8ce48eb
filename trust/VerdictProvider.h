// The verifier's link to the verdict provider: its module, loaded from the
// "%TavRUQ64%" folder, and its root object once the provider proved that it
// offers a readable "vtresult".
#pragma once

#include "collections/factory/ModuleLoader.h"
#include "trust/ProviderVerdict.h"
#include "trust/VerdictProviderInterfaces.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace pxLib {

class VerdictProvider {
public:
    // Sets the provider up once; later calls return at once, also after a
    // failure, which leaves it absent (a missing module is traced at
    // information level) until Release.
    void Initialise();
    [[nodiscard]] bool Present() const { return static_cast<bool>(m_root); }
    // Drops the root object, so the next Initialise sets it up again; the
    // module stays loaded until this object ends.
    void Release();
    // The "vtresult" of the open file; false when the provider has none.
    [[nodiscard]] bool ReadFlags(HANDLE file, uint32_t& flags);

private:
    [[nodiscard]] OBJRESULT Setup();

    std::mutex m_initialiseLock;
    std::atomic<uint32_t> m_initialised{0};  // changed only under the lock
    bool m_attempted = false;
    ModuleLoader m_module;        // unloaded last,
    RefPtr<IVerdictRoot> m_root;  // after its root object
};

}  // namespace pxLib
