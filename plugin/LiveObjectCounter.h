// The module's count of live host-model objects, reported by GetObjectCount:
// a host may unload the module only when it is 0.
#pragma once

#include <cstdint>

namespace qvd::plugin {

uint32_t LiveObjectCount();
void IncrementLiveObjects();
void DecrementLiveObjects();

}  // namespace qvd::plugin
