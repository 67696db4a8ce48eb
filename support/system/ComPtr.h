// COM references (and references to any object counted the COM way, such as
// the host model's) and the apartment of a thread, owned.
#pragma once

#include <objbase.h>

#include <utility>

namespace pxLib {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference the caller already holds.
    static ComPtr Attach(T* p) {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) {
        if (p) p->AddRef();
        return Attach(p);
    }
    ComPtr(const ComPtr& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
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

// CoInitializeEx for the life of the object; CoUninitialize only if it succeeded.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED)
        : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace pxLib
