// A store-mode archive that keeps nothing: it measures how many bytes a value
// will take. Its position is always 0.
#pragma once

#include "collections/archive/Archive.h"

namespace pxLib {

class CDummyArchive final : public CArchive {
public:
    CDummyArchive() : CArchive(Mode::Store) {}

    // A region that swallows writes of up to size bytes.
    [[nodiscard]] bool CreateSubStream(uint32_t size, bool grow,
                                       RefPtr<IByteStream>& stream) override;
    [[nodiscard]] bool ReadBytes(void* bytes, uint32_t count) override;  // nothing to read
    [[nodiscard]] bool WriteBytes(const void* bytes, uint32_t count) override;
    [[nodiscard]] bool GetPosition(uint64_t& position) override;
    [[nodiscard]] bool SetPosition(uint64_t position) override;

    // Every byte handed to it, whether inside elements or not.
    uint64_t GetBytesWritten() const { return m_bytesWritten; }

protected:
    [[nodiscard]] bool IsMeasuring() const override { return true; }

private:
    uint64_t m_bytesWritten = 0;
};

}  // namespace pxLib
