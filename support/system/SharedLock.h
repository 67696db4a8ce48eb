// A reader-writer lock for std::unique_lock and std::shared_lock. On Windows
// an SRW lock: it needs no set-up, so taking or leaving it can neither fail
// nor leave it held, where the toolchain's std::shared_mutex sets itself up
// lazily and can fail doing so inside an unlock.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <shared_mutex>
#endif

namespace pxLib {

#ifdef _WIN32
class SharedLock {
public:
    SharedLock() = default;
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;
    void lock() { AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }
    void lock_shared() { AcquireSRWLockShared(&m_lock); }
    void unlock_shared() { ReleaseSRWLockShared(&m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};
#else
using SharedLock = std::shared_mutex;
#endif

}  // namespace pxLib
