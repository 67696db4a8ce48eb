// The persisted form of one collection value: tag 1 with the kind, then the
// payload element of that kind (two tag-9 elements for an object: its class
// id, then its own saved bytes produced in place).
#pragma once

#include "collections/archive/Archive.h"
#include "collections/values/Value.h"

namespace pxLib {

// The payload tag of kinds 1 to 16; 0 for kinds 0 and 17 and unknown kinds.
CArchive::Tag PayloadTag(ValueKind kind);

[[nodiscard]] bool SaveValue(CArchive& archive, const Value& value);
// Clears value, then reads one. An object is made through the process object
// factory from its class id. May throw std::bad_alloc.
[[nodiscard]] bool LoadValue(CArchive& archive, Value& value);

// Bytes of the payload as the archive stores it (the object's GetSizeMax for
// kind 17); 0 for an empty value or when the size cannot be told.
uint64_t PayloadSize(const Value& value);

}  // namespace pxLib
