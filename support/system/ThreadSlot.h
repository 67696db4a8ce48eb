// One value per thread, for state a worker keeps while it nests or loads.
// On Windows a Win32 TLS slot: its index is taken on first use through a
// one-time initialisation that can be tried again, and TlsGetValue and
// TlsSetValue neither allocate nor abort, where the toolchain's emulated
// per-thread variables allocate on a thread's first use and abort when that
// fails.
// Both calls keep the thread's last error.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>

#include <atomic>
#endif

namespace pxLib {

class ThreadSlot {
public:
    constexpr ThreadSlot() = default;
    ~ThreadSlot();
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    // This thread's value; 0 when none was set or the slot could not be taken.
    uintptr_t Get() const;
    // False when the slot could not be taken or the value not stored.
    [[nodiscard]] bool Set(uintptr_t value) const;

private:
    bool Ready() const;
#ifdef _WIN32
    mutable INIT_ONCE m_once = INIT_ONCE_STATIC_INIT;
    mutable DWORD m_index = TLS_OUT_OF_INDEXES;
#else
    mutable pthread_key_t m_key{};
    mutable std::atomic<bool> m_ready{false};
#endif
};

}  // namespace pxLib
