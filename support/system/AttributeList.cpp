#include "support/system/AttributeList.h"

#include "support/errors/GuardedCall.h"

#include <utility>

namespace pxLib {

bool AttributeList::Allocate(size_t size) {
    reset();
    return CompletesWithMemory([&] { m_buffer.assign(size, 0); });
}

LPPROC_THREAD_ATTRIBUTE_LIST AttributeList::get() const {
    if (m_buffer.empty()) return nullptr;
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(const_cast<BYTE*>(m_buffer.data()));
}

// Like the other owners, keeps the thread's last error across the delete.
void AttributeList::reset() {
    if (const DeleteFn remove = std::exchange(m_remove, nullptr)) {
        const DWORD lastError = ::GetLastError();
        remove(get());
        ::SetLastError(lastError);
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

}  // namespace pxLib
