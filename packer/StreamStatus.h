// The result of a stream's last failed operation. File streams keep the system
// error of a failed call; other streams fail for one reason each, which the
// caller names as the fallback (a memory stream read fails only at its end).
#pragma once

#include "collections/archive/ByteStream.h"
#include "packer/PackerResult.h"

namespace ZOLT {

constexpr pxLib::Guid IID_IStreamStatus = {
    0x5AB40493, 0x63F9, 0x4193, {0x99, 0xE5, 0x77, 0x47, 0xBD, 0x2F, 0x1C, 0x00}};

class IStreamStatus : public pxLib::IRefObject {
public:
    // A failure HRESULT, or 0 when the last operation succeeded.
    [[nodiscard]] virtual HRESULT GetLastResult() = 0;

protected:
    ~IStreamStatus() = default;
};

// What the stream reports for its last failure, else fallback.
[[nodiscard]] HRESULT LastStreamResult(pxLib::IByteStream* stream, HRESULT fallback);

// Helpers over a stream that report failures as HRESULTs: a read that finds
// too few bytes is end of file (0x80070026) unless the stream knows better.
[[nodiscard]] HRESULT ReadExact(pxLib::IByteStream* stream, void* bytes, uint32_t count);
[[nodiscard]] HRESULT ReadU32(pxLib::IByteStream* stream, uint32_t& value);
[[nodiscard]] HRESULT ReadU64(pxLib::IByteStream* stream, uint64_t& value);
[[nodiscard]] HRESULT WriteExact(pxLib::IByteStream* stream, const void* bytes, uint32_t count);
[[nodiscard]] HRESULT WriteU32(pxLib::IByteStream* stream, uint32_t value);
[[nodiscard]] HRESULT GetPosition(pxLib::IByteStream* stream, uint64_t& position);
[[nodiscard]] HRESULT GetSize(pxLib::IByteStream* stream, uint64_t& size);
[[nodiscard]] HRESULT SetPosition(pxLib::IByteStream* stream, uint64_t position);
// Bytes between the position and the end; 0 when either cannot be taken.
uint64_t BytesLeft(pxLib::IByteStream* stream);

}  // namespace ZOLT
