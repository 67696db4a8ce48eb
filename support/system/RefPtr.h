// The one owner of counted references, portable: COM code names it ComPtr.
#pragma once

#include <cstddef>
#include <utility>

namespace pxLib {

// Owns one reference to an object counted the COM way: a COM interface, an
// object of the host model or of the shared library's object model.
template <class T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(std::nullptr_t) {}
    // Adds a reference of its own.
    explicit RefPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    // Takes over a reference the caller already holds.
    static RefPtr Attach(T* p) {
        RefPtr r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static RefPtr Share(T* p) { return RefPtr(p); }
    RefPtr(const RefPtr& other) : RefPtr(other.m_p) {}
    RefPtr(RefPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    RefPtr& operator=(RefPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~RefPtr() { reset(); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** put() {
        reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(m_p, nullptr); }
    void reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }

private:
    T* m_p = nullptr;
};

}  // namespace pxLib
