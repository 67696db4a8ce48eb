// COM references (and references to any object counted the COM way, such as
// the host model's) and the apartment of a thread, owned.
#pragma once

#include "support/system/RefPtr.h"

#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace pxLib {

template <class T>
using ComPtr = RefPtr<T>;

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
    [[nodiscard]] HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// A BSTR, freed with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() = default;
    // Copies text; check the result, the copy may fail for want of memory.
    explicit UniqueBstr(const wchar_t* text) : m_value(::SysAllocString(text)) {}
    ~UniqueBstr() { ::SysFreeString(m_value); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const { return m_value; }
    explicit operator bool() const { return m_value != nullptr; }

private:
    BSTR m_value = nullptr;
};

// A VARIANT, cleared (and its BSTR or reference released) when it goes.
class UniqueVariant {
public:
    UniqueVariant() { ::VariantInit(&m_value); }
    ~UniqueVariant() { ::VariantClear(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    const VARIANT& get() const { return m_value; }
    // For out-parameters: clears what is held and hands out the slot.
    VARIANT* put() {
        ::VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

}  // namespace pxLib
