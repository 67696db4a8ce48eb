// The object repository: which module implements a class that is not
// registered in-process, and how that module is loaded (after the module
// trust hook) to provide the class. The Windows build's repository reads the
// settings store and the product's registry (RegistryObjectRepository.h); the
// native build's knows no class and loads no module. Tests may install their own.
#pragma once

#include "collections/factory/ProcessObjectFactory.h"

#include <string>

namespace pxLib {

// A module that cannot be found or loaded.
constexpr OBJRESULT OBJ_E_MODULENOTFOUND = static_cast<OBJRESULT>(0x80010300u);
// A module without the exports of the object model.
constexpr OBJRESULT OBJ_E_ENTRYNOTFOUND = static_cast<OBJRESULT>(0x80010302u);
// A module whose signature the module trust hook refused.
constexpr OBJRESULT OBJ_E_MODULENOTTRUSTED = static_cast<OBJRESULT>(0x80010303u);

class IObjectRepository {
public:
    virtual ~IObjectRepository() = default;
    // The module path of classId, path tokens already expanded.
    [[nodiscard]] virtual bool FindModule(const Guid& classId, std::u16string& modulePath) = 0;
    // Loads modulePath and yields its provider of classId; the two arguments
    // are those given to the kind-3 registration, passed on unchanged.
    [[nodiscard]] virtual OBJRESULT LoadModuleProvider(const std::u16string& modulePath,
                                                       const Guid& classId, uint32_t loadFlags,
                                                       uint32_t options,
                                                       RefPtr<IClassProvider>& provider) = 0;
};

// The process's repository: the settings store and the product's registry in
// the Windows build, an empty one in the native build.
IObjectRepository& CurrentObjectRepository();
// Installs repository (nullptr: the build's own again) and returns the one it
// installed before (nullptr: the build's own). The repository must live as long as it is installed.
IObjectRepository* SetObjectRepository(IObjectRepository* repository);

}  // namespace pxLib
