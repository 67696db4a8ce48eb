// The host header spells the object model for hosts, which include nothing
// else; the shared library spells it for portable code. Both name the same
// model, so every constant they share is tied here, where both are seen: a
// change to one alone fails the build.
#pragma once

#include "collections/factory/ObjectModel.h"
#include "plugin/QVDHostInterface.h"

namespace qvd::plugin::object_model_ties {

constexpr bool SameId(const GUID& host, const pxLib::Guid& library) {
    for (int i = 0; i < 8; ++i)
        if (host.Data4[i] != library.data4[i]) return false;
    return host.Data1 == library.data1 && host.Data2 == library.data2 &&
           host.Data3 == library.data3;
}

static_assert(sizeof(GUID) == sizeof(pxLib::Guid));
static_assert(sizeof(OBJRESULT) == sizeof(pxLib::OBJRESULT));
static_assert(OBJ_OK == pxLib::OBJ_OK);
static_assert(OBJ_E_NOINTERFACE == pxLib::OBJ_E_NOINTERFACE);
static_assert(OBJ_E_OUTOFMEMORY == pxLib::OBJ_E_OUTOFMEMORY);
static_assert(OBJ_E_INVALIDARG == pxLib::OBJ_E_INVALIDARG);
static_assert(SameId(IID_IObjectBase, pxLib::IID_IRefObject));

}  // namespace qvd::plugin::object_model_ties
