#include "support/system/LiveObjects.h"

#include <atomic>

namespace pxLib {
namespace {
std::atomic<uint32_t> g_liveObjects{0};
}

uint32_t LiveObjectCount() {
    return g_liveObjects.load(std::memory_order_relaxed);
}
void IncrementLiveObjects() {
    g_liveObjects.fetch_add(1);
}
void DecrementLiveObjects() {
    g_liveObjects.fetch_sub(1);
}

}  // namespace pxLib
