// The process object factory: one per process, mapping a class id to the
// provider that makes objects of that class. A class not registered here is
// looked up in the object repository (ObjectRepository.h), registered from its
// module, and the creation is tried once more.
#pragma once

#include "collections/factory/ObjectModel.h"

#include <string>

namespace pxLib {

constexpr Guid IID_IClassProvider = {
    0x9D875446, 0xB23E, 0x46C0, {0x81, 0xC2, 0x43, 0xE4, 0x1A, 0x16, 0xF1, 0x06}};
constexpr Guid IID_IProcessObjectFactory = {
    0x31282921, 0x1D8D, 0x4B0F, {0xA5, 0x5D, 0xDE, 0xFB, 0x4D, 0x0A, 0x73, 0x8D}};

// Makes instances of one class.
class IClassProvider : public IRefObject {
public:
    [[nodiscard]] virtual OBJRESULT Initialise() = 0;
    // Sets *out to a new instance's interface iid (with a reference), or to null.
    [[nodiscard]] virtual OBJRESULT CreateInstance(const Guid& iid, void** out) = 0;

protected:
    ~IClassProvider() = default;
};

// Makes one instance for iid, as IClassProvider::CreateInstance does.
typedef OBJRESULT (*ObjectCreator)(const Guid& iid, void** out);

class IProcessObjectFactory : public IRefObject {
public:
    // Kind 3: a class provided by a module file (how repository classes come in).
    [[nodiscard]] virtual OBJRESULT Register(const Guid& classId, const std::u16string& modulePath,
                                             uint32_t loadFlags, uint32_t options) = 0;
    // Kind 2: a provider object.
    [[nodiscard]] virtual OBJRESULT Register(const Guid& classId, IClassProvider* provider) = 0;
    // Kind 1: a creator function.
    [[nodiscard]] virtual OBJRESULT Register(const Guid& classId, ObjectCreator creator) = 0;
    // Takes one registration back; the last one removes the class.
    [[nodiscard]] virtual OBJRESULT Unregister(const Guid& classId) = 0;
    [[nodiscard]] virtual OBJRESULT CreateInstance(const Guid& classId, const Guid& iid,
                                                   void** out) = 0;
    // Registered here or known to the object repository.
    [[nodiscard]] virtual bool IsRegistered(const Guid& classId) = 0;
    [[nodiscard]] virtual OBJRESULT RegisterFromRepository(const Guid& classId, uint32_t loadFlags,
                                                           uint32_t options) = 0;
    // Registered here only.
    [[nodiscard]] virtual bool IsRegisteredLocally(const Guid& classId) = 0;

protected:
    ~IProcessObjectFactory() = default;
};

// The process's factory, made on first use and kept for the life of the
// process; the caller receives a reference of its own. OBJ_OK or
// OBJ_E_OUTOFMEMORY.
[[nodiscard]] OBJRESULT GetProcessObjectFactory(RefPtr<IProcessObjectFactory>& factory);

}  // namespace pxLib
