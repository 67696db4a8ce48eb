// The host object model as portable code sees it: 16-byte class and interface
// ids, reference-counted objects that answer query-interface, and the model's
// result codes (not platform HRESULTs; success is tested by sign).
#pragma once

#include "support/logging/Trace.h"
#include "support/system/RefPtr.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the persisted formats are little-endian and copied as they lie in memory");

namespace pxLib {

typedef int32_t OBJRESULT;

constexpr OBJRESULT OBJ_OK = 0x00010000;
constexpr OBJRESULT OBJ_E_NOINTERFACE = static_cast<OBJRESULT>(0x80010200u);
constexpr OBJRESULT OBJ_E_OUTOFMEMORY = static_cast<OBJRESULT>(0x80010201u);
constexpr OBJRESULT OBJ_E_INVALIDARG = static_cast<OBJRESULT>(0x80010203u);

[[nodiscard]] inline bool ObjSucceeded(OBJRESULT result) {
    return result >= 0;
}

// Same layout as the platform's GUID, so it can be copied to and from one.
struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "a class id is 16 bytes wherever it is stored");

inline bool operator==(const Guid& a, const Guid& b) {
    return std::memcmp(&a, &b, 16) == 0;
}
inline bool operator!=(const Guid& a, const Guid& b) {
    return !(a == b);
}
inline bool operator<(const Guid& a, const Guid& b) {
    return std::memcmp(&a, &b, 16) < 0;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::u16string GuidToText(const Guid& guid);

inline TraceArg ToTraceArg(const Guid& guid) {
    return {&guid, 16};
}

// Every object answers this id with its base interface.
constexpr Guid IID_IRefObject = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};

// The first three operations of every interface of the model.
class IRefObject {
public:
    [[nodiscard]] virtual OBJRESULT QueryInterface(const Guid& iid, void** out) = 0;
    virtual int64_t AddRef() = 0;
    virtual int64_t Release() = 0;  // returns the new count

protected:
    ~IRefObject() = default;
};

// The reference count of one object; the last Release deletes it.
class RefCount {
public:
    int64_t AddRef() { return ++m_count; }
    template <class T>
    int64_t Release(T* self) {
        const int64_t count = --m_count;
        if (count == 0) delete self;
        return count;
    }

private:
    std::atomic<int64_t> m_count{0};
};

// Queries object for iid into out (which must be the interface iid names).
template <class T>
[[nodiscard]] OBJRESULT QueryInto(IRefObject* object, const Guid& iid, RefPtr<T>& out) {
    if (object == nullptr) {
        out.reset();
        return OBJ_E_INVALIDARG;
    }
    return object->QueryInterface(iid, out.put_void());
}

}  // namespace pxLib
