// OLE VARIANTs at the Windows boundary: conversion from and to the portable
// Variant, which holds exactly what the archive stores.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "collections/archive/Variant.h"

namespace pxLib {

// What the archive accepts before writing: the storable types, and also
// VT_UNKNOWN and VT_DISPATCH objects that can persist themselves to a stream,
// which the body writer then refuses, so such a variant is never written.
[[nodiscard]] bool IsStorableOleVariant(const VARIANT& value);

// False for every type the archive does not store, objects included.
[[nodiscard]] bool FromOleVariant(const VARIANT& value, Variant& out);
// out must be empty or uninitialised; on failure it is VT_EMPTY.
[[nodiscard]] bool ToOleVariant(const Variant& value, VARIANT& out);

}  // namespace pxLib
