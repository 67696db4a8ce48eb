// What a module of the object model exports: "GetFactory" hands out a factory
// for an id, the factory creates objects; "GetObjectCount" tells how many of
// the module's objects live. The plug-in's own exports have the same shape.
#pragma once

#include "collections/factory/ObjectModel.h"

namespace pxLib {

class IModuleFactory : public IRefObject {
public:
    // Sets *out to a new object's interface iid (with a reference), or to null.
    [[nodiscard]] virtual OBJRESULT CreateInstance(const Guid& iid, void** out) = 0;
    [[nodiscard]] virtual OBJRESULT CreateInstanceWithOwner(const Guid& iid, void** out,
                                                            IRefObject* owner) = 0;

protected:
    ~IModuleFactory() = default;
};

extern "C" {
typedef OBJRESULT (*ModuleGetFactoryFn)(const Guid* factoryId, void** factory);
typedef uint32_t (*ModuleGetObjectCountFn)();
}

}  // namespace pxLib
