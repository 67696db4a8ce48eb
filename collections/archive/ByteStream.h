// A positioned stream of bytes: file streams, memory streams and regions of an
// archive all offer it. Every operation reports success as a flag.
#pragma once

#include "collections/factory/ObjectModel.h"

namespace pxLib {

constexpr Guid IID_IByteStream = {
    0xD259D812, 0xEAD1, 0x4A99, {0x87, 0xEA, 0x96, 0xEE, 0x5C, 0xA0, 0x0D, 0x09}};

class IByteStream : public IRefObject {
public:
    [[nodiscard]] virtual bool GetSize(uint64_t& size) = 0;
    // A file stream cuts or extends the file and moves to 0; a region refuses.
    [[nodiscard]] virtual bool SetSize(uint64_t size) = 0;
    [[nodiscard]] virtual bool GetPosition(uint64_t& position) = 0;
    // Fails beyond the size.
    [[nodiscard]] virtual bool SetPosition(uint64_t position) = 0;
    // Writes at the position and advances.
    [[nodiscard]] virtual bool Write(const void* bytes, uint32_t count) = 0;
    // Reads exactly count bytes and advances; fails, moving nothing, if fewer remain.
    [[nodiscard]] virtual bool Read(void* bytes, uint32_t count) = 0;

protected:
    ~IByteStream() = default;
};

}  // namespace pxLib
