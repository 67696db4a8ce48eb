// A reader-writer lock for std::unique_lock and std::shared_lock: an SRW lock
// on Windows, a statically initialised read-write lock elsewhere. Neither
// needs set-up, so taking or leaving one can neither fail nor leave it held,
// where the toolchain's standard reader-writer mutex sets itself up lazily and
// can fail doing so inside an unlock.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace pxLib {

class SharedLock {
public:
    SharedLock() = default;
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;
#ifdef _WIN32
    ~SharedLock() = default;
    void lock() {
        AcquireSRWLockExclusive(&m_lock);
    }
    void unlock() {
        ReleaseSRWLockExclusive(&m_lock);
    }
    void lock_shared() {
        AcquireSRWLockShared(&m_lock);
    }
    void unlock_shared() {
        ReleaseSRWLockShared(&m_lock);
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
#else
    ~SharedLock() {
        pthread_rwlock_destroy(&m_lock);
    }
    void lock() {
        pthread_rwlock_wrlock(&m_lock);
    }
    void unlock() {
        pthread_rwlock_unlock(&m_lock);
    }
    void lock_shared() {
        pthread_rwlock_rdlock(&m_lock);
    }
    void unlock_shared() {
        pthread_rwlock_unlock(&m_lock);
    }

private:
    pthread_rwlock_t m_lock = PTHREAD_RWLOCK_INITIALIZER;
#endif
};

}  // namespace pxLib
