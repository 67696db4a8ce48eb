// Calls into the platform that can be slow (catalog lookups, revocation
// checks, the verdict provider) are timed with the tick counter; those that
// take longer than this are traced with their duration.
#pragma once

#include <windows.h>

#include <cstdint>

namespace pxLib {

constexpr uint32_t kSlowCallMs = 500;

class CallTimer {
public:
    CallTimer() : m_start(GetTickCount64()) {}
    // The milliseconds since construction, or 0 when that is not slow.
    uint32_t SlowMs() const {
        const uint64_t elapsed = GetTickCount64() - m_start;
        return elapsed > kSlowCallMs ? static_cast<uint32_t>(elapsed) : 0;
    }

private:
    uint64_t m_start;
};

}  // namespace pxLib
