// The module's count of live host-model objects, reported by GetObjectCount:
// a host may unload the module only when it is 0. Every host-model object of
// the module counts, the plug-in layer's and the shared library's alike.
#pragma once

#include <cstdint>

namespace pxLib {

uint32_t LiveObjectCount();
void IncrementLiveObjects();
void DecrementLiveObjects();

}  // namespace pxLib
