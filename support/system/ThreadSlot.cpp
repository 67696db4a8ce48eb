#include "support/system/ThreadSlot.h"

namespace pxLib {

#ifdef _WIN32

namespace {

// Restores the thread's last error when it goes: TlsGetValue clears it.
class KeptLastError {
public:
    KeptLastError() : m_error(::GetLastError()) {}
    ~KeptLastError() { ::SetLastError(m_error); }
    KeptLastError(const KeptLastError&) = delete;
    KeptLastError& operator=(const KeptLastError&) = delete;

private:
    DWORD m_error;
};

BOOL CALLBACK TakeIndex(PINIT_ONCE, void* parameter, void**) {
    const DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) return FALSE;  // tried again on the next use
    *static_cast<DWORD*>(parameter) = index;
    return TRUE;
}

}  // namespace

ThreadSlot::~ThreadSlot() {
    if (m_index != TLS_OUT_OF_INDEXES) TlsFree(m_index);
}

bool ThreadSlot::Ready() const {
    return InitOnceExecuteOnce(&m_once, TakeIndex, &m_index, nullptr) != FALSE;
}

uintptr_t ThreadSlot::Get() const {
    const KeptLastError kept;
    return Ready() ? reinterpret_cast<uintptr_t>(TlsGetValue(m_index)) : 0;
}

bool ThreadSlot::Set(uintptr_t value) const {
    const KeptLastError kept;
    return Ready() && TlsSetValue(m_index, reinterpret_cast<void*>(value)) != FALSE;
}

#else

namespace {
pthread_mutex_t g_settingUp = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

ThreadSlot::~ThreadSlot() {
    if (m_ready.load()) pthread_key_delete(m_key);
}

// A key that cannot be created is tried again on the next use.
bool ThreadSlot::Ready() const {
    if (m_ready.load(std::memory_order_acquire)) return true;
    pthread_mutex_lock(&g_settingUp);
    if (!m_ready.load(std::memory_order_relaxed) && pthread_key_create(&m_key, nullptr) == 0)
        m_ready.store(true, std::memory_order_release);
    pthread_mutex_unlock(&g_settingUp);
    return m_ready.load(std::memory_order_acquire);
}

uintptr_t ThreadSlot::Get() const {
    return Ready() ? reinterpret_cast<uintptr_t>(pthread_getspecific(m_key)) : 0;
}

bool ThreadSlot::Set(uintptr_t value) const {
    return Ready() && pthread_setspecific(m_key, reinterpret_cast<void*>(value)) == 0;
}

#endif

}  // namespace pxLib
