// An archive over a positioned byte stream. It keeps its own position and
// moves the stream there before every read or write, so regions handed out
// for nested objects may move the stream in between.
#pragma once

#include "collections/archive/Archive.h"

namespace pxLib {

class CTavStreamArchive final : public CArchive {
public:
    explicit CTavStreamArchive(Mode mode) : CArchive(mode) {}
    // A stream that cannot be attached leaves none: every later read or write fails.
    CTavStreamArchive(Mode mode, IByteStream* stream) : CArchive(mode) {
        static_cast<void>(Attach(stream));
    }

    // Starts at the stream's current position.
    [[nodiscard]] bool Attach(IByteStream* stream);
    // The largest position reached by a read or write.
    uint64_t GetHighWaterMark() const { return m_highWaterMark; }

    // A region of exactly size bytes at the position; in store mode with grow
    // set the stream is first extended to cover it.
    [[nodiscard]] bool CreateSubStream(uint32_t size, bool grow,
                                       RefPtr<IByteStream>& stream) override;
    [[nodiscard]] bool ReadBytes(void* bytes, uint32_t count) override;
    [[nodiscard]] bool WriteBytes(const void* bytes, uint32_t count) override;
    [[nodiscard]] bool GetPosition(uint64_t& position) override;
    // Fails without a stream or beyond the stream's size.
    [[nodiscard]] bool SetPosition(uint64_t position) override;

private:
    void Advance(uint64_t count);

    RefPtr<IByteStream> m_stream;
    uint64_t m_position = 0;
    uint64_t m_highWaterMark = 0;
};

}  // namespace pxLib
