// What the small test modules share: a factory over a creator function and
// the count of live factories that their GetObjectCount reports.
#pragma once

#include "collections/factory/ModuleFactory.h"

#include <new>

#define QVD_MODULE_EXPORT extern "C" __declspec(dllexport)

namespace qvdmodule {

using pxLib::Guid;
using pxLib::OBJRESULT;

using Creator = OBJRESULT (*)(const Guid& iid, void** out);

// Hands out a new factory that makes objects with creator.
OBJRESULT HandOutFactory(Creator creator, void** out);

// Answers iid with object's interface I (with a reference) or fails.
template <class I>
OBJRESULT Answer(I* object, const Guid& iid, const Guid& own, void** out) {
    if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
    if (iid == pxLib::IID_IRefObject || iid == own) {
        *out = object;
        object->AddRef();
        return pxLib::OBJ_OK;
    }
    *out = nullptr;
    return pxLib::OBJ_E_NOINTERFACE;
}

// A new object of class C answering iid, or the failure.
template <class C>
OBJRESULT MakeObject(const Guid& iid, void** out) {
    pxLib::RefPtr<C> object(new (std::nothrow) C);
    if (!object) return pxLib::OBJ_E_OUTOFMEMORY;
    return object->QueryInterface(iid, out);
}

// The export's argument checks: a factory only for the ids it serves.
template <size_t N>
OBJRESULT ServeFactory(const Guid* id, void** out, const Guid (&served)[N], Creator creator) {
    if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
    *out = nullptr;
    if (id == nullptr) return pxLib::OBJ_E_INVALIDARG;
    for (const Guid& candidate : served)
        if (*id == candidate) return HandOutFactory(creator, out);
    return pxLib::OBJ_E_INVALIDARG;
}

}  // namespace qvdmodule
