// One loaded module of the object model, with its two exports resolved. The
// module stays loaded as long as the object does.
#pragma once

#include "collections/factory/ModuleFactory.h"
#include "collections/factory/ObjectRepository.h"
#include "support/system/UniqueHandle.h"

#include <string>

namespace pxLib {

class ModuleLoader {
public:
    // LoadLibraryExW with LOAD_WITH_ALTERED_SEARCH_PATH. OBJ_E_MODULENOTFOUND
    // when it cannot be loaded, OBJ_E_ENTRYNOTFOUND (and unloaded again) when
    // it lacks either export.
    [[nodiscard]] OBJRESULT Load(const std::wstring& path);
    [[nodiscard]] bool IsLoaded() const { return static_cast<bool>(m_module); }
    // The module's factory for id.
    [[nodiscard]] OBJRESULT GetFactory(const Guid& id, RefPtr<IModuleFactory>& factory) const;
    uint32_t GetObjectCount() const;
    void Unload();

private:
    UniqueLibrary m_module;
    ModuleGetFactoryFn m_getFactory = nullptr;
    ModuleGetObjectCountFn m_getObjectCount = nullptr;
};

}  // namespace pxLib
