// The contract of every object that can be nested in a value collection:
// it saves itself to and loads itself from a byte stream and names its class.
#pragma once

#include "collections/archive/ByteStream.h"

namespace pxLib {

constexpr Guid IID_IPersistObject = {
    0x16605923, 0x64E1, 0x4175, {0xA5, 0x3B, 0x4C, 0x08, 0xBA, 0x57, 0x10, 0x94}};
constexpr Guid IID_ICloneObject = {
    0x7BF6AA71, 0x1296, 0x4497, {0x95, 0x86, 0x63, 0x9E, 0x05, 0x65, 0x34, 0x0D}};

class IPersistObject : public IRefObject {
public:
    // Bytes that Save will write.
    [[nodiscard]] virtual bool GetSizeMax(uint64_t& size) = 0;
    [[nodiscard]] virtual bool Save(IByteStream* stream) = 0;
    [[nodiscard]] virtual bool Load(IByteStream* stream) = 0;
    [[nodiscard]] virtual bool IsDirty() = 0;
    [[nodiscard]] virtual bool SetDirty(bool dirty) = 0;
    [[nodiscard]] virtual bool GetClassId(Guid& classId) = 0;
    // Whether the persisted size is remembered after a save.
    [[nodiscard]] virtual bool SetCacheSize(bool cacheSize) = 0;
    [[nodiscard]] virtual bool GetCacheSize() = 0;

protected:
    ~IPersistObject() = default;
};

class ICloneObject : public IRefObject {
public:
    // An independent copy, with its base interface.
    [[nodiscard]] virtual bool Clone(RefPtr<IRefObject>& copy) = 0;

protected:
    ~ICloneObject() = default;
};

}  // namespace pxLib
