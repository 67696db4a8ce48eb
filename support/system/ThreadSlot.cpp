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
thread_local const ThreadSlot* t_creating = nullptr;
}  // namespace

ThreadSlot::~ThreadSlot() {
    if (m_ready) pthread_key_delete(m_key);
}

bool ThreadSlot::Ready() const {
    // pthread_once takes no argument: the slot being set up is handed over here.
    t_creating = this;
    pthread_once(&m_once, [] {
        const ThreadSlot* slot = t_creating;
        slot->m_ready = pthread_key_create(&slot->m_key, nullptr) == 0;
    });
    return m_ready;
}

uintptr_t ThreadSlot::Get() const {
    return Ready() ? reinterpret_cast<uintptr_t>(pthread_getspecific(m_key)) : 0;
}

bool ThreadSlot::Set(uintptr_t value) const {
    return Ready() && pthread_setspecific(m_key, reinterpret_cast<void*>(value)) == 0;
}

#endif

}  // namespace pxLib
