// The owner of a process-thread attribute list: the buffer the list lives in
// and, once the list was initialised in it, the list itself, which is deleted
// before the buffer goes, on every path.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace pxLib {

class AttributeList {
public:
    using DeleteFn = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

    AttributeList() = default;
    ~AttributeList() { reset(); }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;

    // Deletes what is held and makes room for a list of size bytes; false
    // when out of memory.
    [[nodiscard]] bool Allocate(size_t size);
    // After InitializeProcThreadAttributeList succeeded on get(): the list is
    // deleted with remove when it goes.
    void Initialised(DeleteFn remove) { m_remove = remove; }

    // The buffer, nullptr when none was allocated.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const;
    bool IsInitialised() const { return m_remove != nullptr; }
    bool empty() const { return m_buffer.empty(); }

    void reset();

private:
    std::vector<BYTE> m_buffer;
    DeleteFn m_remove = nullptr;
};

}  // namespace pxLib
