#include "packer/StreamStatus.h"

namespace ZOLT {

HRESULT LastStreamResult(pxLib::IByteStream* stream, HRESULT fallback) {
    pxLib::RefPtr<IStreamStatus> status;
    if (stream != nullptr &&
        pxLib::ObjSucceeded(pxLib::QueryInto(stream, IID_IStreamStatus, status)) && status) {
        const HRESULT hr = status->GetLastResult();
        if (Failed(hr)) return hr;
    }
    return fallback;
}

HRESULT ReadExact(pxLib::IByteStream* stream, void* bytes, uint32_t count) {
    if (stream == nullptr) return kHrPointer;
    return stream->Read(bytes, count) ? kHrOk : LastStreamResult(stream, kHrHandleEof);
}

HRESULT ReadU32(pxLib::IByteStream* stream, uint32_t& value) {
    return ReadExact(stream, &value, sizeof(value));
}

HRESULT ReadU64(pxLib::IByteStream* stream, uint64_t& value) {
    return ReadExact(stream, &value, sizeof(value));
}

HRESULT WriteExact(pxLib::IByteStream* stream, const void* bytes, uint32_t count) {
    if (stream == nullptr) return kHrPointer;
    return stream->Write(bytes, count) ? kHrOk : LastStreamResult(stream, kHrWriteFault);
}

HRESULT WriteU32(pxLib::IByteStream* stream, uint32_t value) {
    return WriteExact(stream, &value, sizeof(value));
}

HRESULT GetPosition(pxLib::IByteStream* stream, uint64_t& position) {
    if (stream == nullptr) return kHrPointer;
    return stream->GetPosition(position) ? kHrOk : LastStreamResult(stream, kHrUnexpected);
}

HRESULT GetSize(pxLib::IByteStream* stream, uint64_t& size) {
    if (stream == nullptr) return kHrPointer;
    return stream->GetSize(size) ? kHrOk : LastStreamResult(stream, kHrUnexpected);
}

HRESULT SetPosition(pxLib::IByteStream* stream, uint64_t position) {
    if (stream == nullptr) return kHrPointer;
    // Positions lie within the stream; beyond its end is where a read would
    // have found the end of the file.
    return stream->SetPosition(position) ? kHrOk : LastStreamResult(stream, kHrHandleEof);
}

uint64_t BytesLeft(pxLib::IByteStream* stream) {
    uint64_t size = 0, position = 0;
    if (stream == nullptr || !stream->GetSize(size) || !stream->GetPosition(position) ||
        position > size)
        return 0;
    return size - position;
}

}  // namespace ZOLT
