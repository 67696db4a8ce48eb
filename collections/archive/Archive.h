// The tagged binary element archive: a sequence of elements, each a one-byte
// tag, a u32 length for variable-size tags, and the payload (little-endian).
// The element logic lives here, written once over six operations that the
// concrete archives provide (stream, memory block, or measuring only).
//
// Every element operation either completes or fails with the position back at
// the start of the element and byteCount unchanged, so a caller may try a
// different tag at the same place.
#pragma once

#include "collections/archive/ByteStream.h"
#include "collections/archive/Variant.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
struct tagVARIANT;
#endif

namespace pxLib {

// An opaque 16-byte record (tag 16).
struct Record16 {
    uint8_t bytes[16];
};
inline bool operator==(const Record16& a, const Record16& b) {
    return std::memcmp(a.bytes, b.bytes, 16) == 0;
}

class CArchive {
public:
    enum class Mode : uint32_t { Load = 1, Store = 2 };

    // The two tags the format's documents name keep their documented spelling.
    enum class Tag : uint8_t {
        UInt8Data = 1,
        UInt16Data = 2,
        eUInt32Data = 3,
        UInt64Data = 4,
        DoubleData = 5,
        Int32Data = 6,
        StringData = 7,    // single-byte text with its NUL
        eWStringData = 8,  // UTF-16LE text with its NUL
        BinaryData = 9,
        BoolData = 10,
        VariantData = 11,
        Int8Data = 12,
        Int16Data = 13,
        Int64Data = 14,
        GuidData = 15,
        Record16Data = 16,
    };

    // The tag as the format stores it: one byte.
    static constexpr uint8_t TagByte(Tag tag) { return static_cast<uint8_t>(tag); }
    // Payload size of a fixed-size tag; 0 for variable-size tags and for tag 0
    // and tags above 16, which are not valid.
    static uint32_t FixedSize(Tag tag);
    [[nodiscard]] static bool IsVariableSize(Tag tag);
    [[nodiscard]] static bool IsValidTag(Tag tag) {
        return TagByte(tag) >= 1 && TagByte(tag) <= 16;
    }

    virtual ~CArchive() = default;
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    Mode GetMode() const { return m_eMode; }
    [[nodiscard]] bool IsLoading() const { return m_eMode == Mode::Load; }
    [[nodiscard]] bool IsStoring() const { return m_eMode == Mode::Store; }
    // Bytes of all elements completed so far, headers included.
    uint64_t GetByteCount() const { return m_qwByteCount; }
    [[nodiscard]] bool IsStarted() const { return m_bStarted; }
    uint64_t GetStartPosition() const { return m_qwStartPosition; }

    // --- The operations of a concrete archive. ---
    // Reserves size bytes at the position and hands out a stream confined to
    // them; the archive's position moves past the region. The base refuses.
    [[nodiscard]] virtual bool CreateSubStream(uint32_t size, bool grow,
                                               RefPtr<IByteStream>& stream);
    [[nodiscard]] virtual bool ReadBytes(void* bytes, uint32_t count) = 0;
    [[nodiscard]] virtual bool WriteBytes(const void* bytes, uint32_t count) = 0;
    [[nodiscard]] virtual bool GetPosition(uint64_t& position) = 0;
    [[nodiscard]] virtual bool SetPosition(uint64_t position) = 0;

    // --- Elements. ---
    // Store mode only.
    [[nodiscard]] bool Write(Tag tag, const void* data, uint32_t size);
    // Load mode only. Fails when the next tag differs or its payload exceeds capacity.
    [[nodiscard]] bool Read(Tag expectedTag, void* buffer, uint32_t capacity, uint32_t& size);
    // The next tag and its payload size; the position does not move.
    [[nodiscard]] bool PeekElement(Tag& tag, uint32_t& size);

    [[nodiscard]] bool WriteUInt8(uint8_t value) { return Write(Tag::UInt8Data, &value, 1); }
    [[nodiscard]] bool WriteUInt16(uint16_t value) { return Write(Tag::UInt16Data, &value, 2); }
    [[nodiscard]] bool WriteUInt32(uint32_t value) { return Write(Tag::eUInt32Data, &value, 4); }
    [[nodiscard]] bool WriteUInt64(uint64_t value) { return Write(Tag::UInt64Data, &value, 8); }
    [[nodiscard]] bool WriteDouble(double value) { return Write(Tag::DoubleData, &value, 8); }
    [[nodiscard]] bool WriteInt32(int32_t value) { return Write(Tag::Int32Data, &value, 4); }
    [[nodiscard]] bool WriteBool(bool value);
    [[nodiscard]] bool WriteInt8(int8_t value) { return Write(Tag::Int8Data, &value, 1); }
    [[nodiscard]] bool WriteInt16(int16_t value) { return Write(Tag::Int16Data, &value, 2); }
    [[nodiscard]] bool WriteInt64(int64_t value) { return Write(Tag::Int64Data, &value, 8); }
    [[nodiscard]] bool WriteGuid(const Guid& value) { return Write(Tag::GuidData, &value, 16); }
    [[nodiscard]] bool WriteRecord16(const Record16& value) {
        return Write(Tag::Record16Data, &value, 16);
    }
    // strlen + 1 bytes.
    [[nodiscard]] bool WriteString(const char* text);
    // (length + 1) x 2 bytes.
    [[nodiscard]] bool WriteWString(const char16_t* text);
    [[nodiscard]] bool WriteBinary(const void* data, uint32_t size) {
        return Write(Tag::BinaryData, data, size);
    }

    [[nodiscard]] bool ReadUInt8(uint8_t& value) { return ReadScalar(Tag::UInt8Data, &value, 1); }
    [[nodiscard]] bool ReadUInt16(uint16_t& value) {
        return ReadScalar(Tag::UInt16Data, &value, 2);
    }
    [[nodiscard]] bool ReadUInt32(uint32_t& value) {
        return ReadScalar(Tag::eUInt32Data, &value, 4);
    }
    [[nodiscard]] bool ReadUInt64(uint64_t& value) {
        return ReadScalar(Tag::UInt64Data, &value, 8);
    }
    [[nodiscard]] bool ReadDouble(double& value) { return ReadScalar(Tag::DoubleData, &value, 8); }
    [[nodiscard]] bool ReadInt32(int32_t& value) { return ReadScalar(Tag::Int32Data, &value, 4); }
    [[nodiscard]] bool ReadBool(bool& value);  // any nonzero byte is true
    [[nodiscard]] bool ReadInt8(int8_t& value) { return ReadScalar(Tag::Int8Data, &value, 1); }
    [[nodiscard]] bool ReadInt16(int16_t& value) { return ReadScalar(Tag::Int16Data, &value, 2); }
    [[nodiscard]] bool ReadInt64(int64_t& value) { return ReadScalar(Tag::Int64Data, &value, 8); }
    [[nodiscard]] bool ReadGuid(Guid& value) { return ReadScalar(Tag::GuidData, &value, 16); }
    [[nodiscard]] bool ReadRecord16(Record16& value) {
        return ReadScalar(Tag::Record16Data, &value, 16);
    }
    // Into a caller buffer of capacity bytes (narrow) or code units (wide). The
    // stored text must end with its NUL, which lands in the buffer too.
    [[nodiscard]] bool ReadString(char* buffer, uint32_t capacity);
    [[nodiscard]] bool ReadWString(char16_t* buffer, uint32_t capacity);
    // Sized from the element; the text ends at its first NUL.
    [[nodiscard]] bool ReadString(std::string& text);
    [[nodiscard]] bool ReadWString(std::u16string& text);
    // Sizes the block to the stored length, then reads it.
    [[nodiscard]] bool ReadBinary(std::vector<uint8_t>& block);

    // Tag 11. A value that is not storable fails before anything is written.
    [[nodiscard]] bool WriteVariant(const Variant& value);
    // Clears value first; on failure it stays empty.
    [[nodiscard]] bool ReadVariant(Variant& value);
#ifdef _WIN32
    // The same for OLE VARIANTs, converted at this boundary (OleVariant.cpp).
    // An object variant is never written, even one that can persist itself.
    [[nodiscard]] bool WriteVariant(const tagVARIANT& value);
    [[nodiscard]] bool ReadVariant(tagVARIANT& value);  // value must hold a valid VARIANT
#endif

    // Proves that count bytes follow the position before anything is sized
    // from count, by moving to the last of them and back.
    [[nodiscard]] bool ProveAvailable(uint64_t count);

    // A variable-size element whose size bytes are produced in place through a
    // region of this archive (a nested object saving itself).
    [[nodiscard]] bool WriteRegionElement(Tag tag, uint32_t size,
                                          const std::function<bool(IByteStream& region)>& fill);
    // The reverse: the payload of the next element, expected to carry tag, is
    // handed over as a region.
    [[nodiscard]] bool ReadRegionElement(
        Tag tag, const std::function<bool(IByteStream& region, uint32_t size)>& consume);

protected:
    explicit CArchive(Mode mode) : m_eMode(mode) {}
    // An archive that only counts bytes: regions need no content.
    [[nodiscard]] virtual bool IsMeasuring() const {
        return false;
    }
    // Attaching a stream archive fixes where the first element begins.
    void SetStartPosition(uint64_t position) {
        m_qwStartPosition = position;
    }

private:
    [[nodiscard]] bool BeginElement(uint64_t& position);
    [[nodiscard]] bool Restore(uint64_t position);  // always false
    [[nodiscard]] bool ReadScalar(Tag tag, void* value, uint32_t width);
    // Reads the header of the next element, which must carry tag.
    [[nodiscard]] bool ReadHeader(Tag tag, uint32_t& size);
    // A variable element whose payload goes where allocate(size) says (null:
    // refused); check(payload, size) may refuse the payload once read.
    template <class Allocate, class Check>
    [[nodiscard]] bool ReadSized(Tag tag, Allocate&& allocate, Check&& check);

    Mode m_eMode;
    uint64_t m_qwByteCount = 0;
    bool m_bStarted = false;
    uint64_t m_qwStartPosition = 0;
};

}  // namespace pxLib
