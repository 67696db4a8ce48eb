// VARIANT bodies inside tag-11 elements: a u16 variant type and its payload,
// arrays of variants recursively.
#include "collections/archive/Archive.h"
#include "collections/archive/DummyArchive.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xC9D117FF, 0x8BB6, 0x40D4, {0xB9, 0x79, 0xD7, 0x57, 0x5C, 0x62, 0xBA, 0x82}}};
enum class TraceEvent : uint16_t {
    UnknownVariantType = 1,
    DecimalTypeMismatch = 2,
    ByteCountBeyondElement = 3,
    ElementCountBeyondElement = 4,
    VariantNotStorable = 5,
    BodySizeChanged = 6,
    VariantAllocationFailed = 7,
};

bool WriteCounted(CArchive& archive, const void* bytes, uint32_t count, uint64_t& written) {
    if (count != 0 && !archive.WriteBytes(bytes, count)) return false;
    written += count;
    return true;
}

bool WriteBody(CArchive& archive, const Variant& value, uint64_t& written) {
    const VariantType type = value.Type();
    const uint16_t number = TypeNumber(type);
    uint8_t head[2 + 16];
    std::memcpy(head, &number, 2);

    if (const uint32_t width = VariantScalarWidth(type)) {
        const uint64_t bits = value.ScalarBits();
        std::memcpy(head + 2, &bits, width);
        return WriteCounted(archive, head, 2 + width, written);
    }
    switch (type) {
        case VariantType::Empty:
            return WriteCounted(archive, head, 2, written);
        case VariantType::Decimal: {
            // The whole 16-byte record, whose first word is the variant type again.
            const VariantDecimal& d = value.AsDecimal();
            std::memcpy(head + 2, &number, 2);
            head[4] = d.scale;
            head[5] = d.sign;
            std::memcpy(head + 6, &d.hi32, 4);
            std::memcpy(head + 10, &d.lo64, 8);
            return WriteCounted(archive, head, 18, written);
        }
        case VariantType::Bstr:
        case VariantType::ByteArray: {
            const std::vector<uint8_t>& bytes = value.Bytes();
            if (bytes.size() > UINT32_MAX) return false;
            const uint32_t count = static_cast<uint32_t>(bytes.size());
            std::memcpy(head + 2, &count, 4);
            return WriteCounted(archive, head, 6, written) &&
                   WriteCounted(archive, bytes.data(), count, written);
        }
        case VariantType::VariantArray: {
            const std::vector<Variant>& elements = value.Elements();
            if (elements.size() > UINT32_MAX) return false;
            const uint32_t count = static_cast<uint32_t>(elements.size());
            std::memcpy(head + 2, &count, 4);
            if (!WriteCounted(archive, head, 6, written)) return false;
            for (const Variant& element : elements)
                if (!WriteBody(archive, element, written)) return false;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

// Reads bodies without ever passing the end of the element that holds them.
class VariantBodyReader {
public:
    VariantBodyReader(CArchive& archive, uint32_t length)
        : m_archive(archive), m_remaining(length) {}

    uint64_t Remaining() const { return m_remaining; }

    bool ReadBody(Variant& value, uint32_t depth) {
        if (depth > kMaxVariantNesting) return false;
        uint16_t number;
        if (!Take(&number, 2)) return false;
        const VariantType type = static_cast<VariantType>(number);
        if (const uint32_t width = VariantScalarWidth(type)) {
            uint64_t bits = 0;
            if (!Take(&bits, width)) return false;
            value = Variant::Scalar(type, bits);
            return true;
        }
        switch (type) {
            case VariantType::Empty:
                value = Variant();
                return true;
            case VariantType::Decimal:
                return ReadDecimal(value);
            case VariantType::Bstr: {
                std::vector<uint8_t> bytes;
                if (!ReadCountedBytes(bytes)) return false;
                value = Variant::BstrBytes(std::move(bytes));
                return true;
            }
            case VariantType::ByteArray: {
                std::vector<uint8_t> bytes;
                if (!ReadCountedBytes(bytes)) return false;
                // An array of no elements cannot be made.
                if (bytes.empty()) return false;
                value = Variant::ByteArray(std::move(bytes));
                return true;
            }
            case VariantType::VariantArray:
                return ReadVariantArray(value, depth);
            default:
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::UnknownVariantType,
                      uint32_t{number});
                return false;
        }
    }

private:
    bool Take(void* bytes, uint32_t count) {
        if (count > m_remaining || !m_archive.ReadBytes(bytes, count)) return false;
        m_remaining -= count;
        return true;
    }

    bool ReadDecimal(Variant& value) {
        uint8_t record[16];
        if (!Take(record, 16)) return false;
        // Taken as it lay in memory, the record's first word would become the
        // variant type; anything but VT_DECIMAL there is damage.
        uint16_t repeated;
        std::memcpy(&repeated, record, 2);
        if (repeated != TypeNumber(VariantType::Decimal)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::DecimalTypeMismatch,
                  uint32_t{repeated});
            return false;
        }
        VariantDecimal d;
        d.scale = record[2];
        d.sign = record[3];
        std::memcpy(&d.hi32, record + 4, 4);
        std::memcpy(&d.lo64, record + 8, 8);
        value = Variant::Decimal(d);
        return true;
    }

    // A u32 count and that many bytes, proven to be there before the block is sized.
    bool ReadCountedBytes(std::vector<uint8_t>& bytes) {
        uint32_t count;
        if (!Take(&count, 4)) return false;
        if (count > m_remaining || !m_archive.ProveAvailable(count)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ByteCountBeyondElement, count);
            return false;
        }
        bytes.resize(count);
        return Take(bytes.data(), count);
    }

    bool ReadVariantArray(Variant& value, uint32_t depth) {
        uint32_t count;
        if (!Take(&count, 4)) return false;
        // Every element takes at least its two type bytes.
        if (count > m_remaining / 2 || !m_archive.ProveAvailable(count)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ElementCountBeyondElement, count);
            return false;
        }
        std::vector<Variant> elements;
        for (uint32_t i = 0; i < count; ++i) {
            Variant element;
            if (!ReadBody(element, depth + 1)) return false;
            elements.push_back(std::move(element));
        }
        value = Variant::VariantArray(std::move(elements));
        return true;
    }

    CArchive& m_archive;
    uint64_t m_remaining;
};

bool CArchive::WriteVariant(const Variant& value) {
    if (!IsStoring()) return false;
    if (!value.IsStorable()) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::VariantNotStorable,
              uint32_t{TypeNumber(value.Type())});
        return false;
    }
    CDummyArchive measure;
    uint64_t measured = 0;
    if (!WriteBody(measure, value, measured)) return false;
    measured = measure.GetBytesWritten();
    if (measured > UINT32_MAX - 5) return false;

    uint64_t start;
    if (!BeginElement(start)) return false;
    uint8_t header[5] = {TagByte(Tag::VariantData)};
    const uint32_t length = static_cast<uint32_t>(measured);
    std::memcpy(header + 1, &length, 4);
    if (!WriteBytes(header, 5)) return Restore(start);
    uint64_t written = 0;
    if (!WriteBody(*this, value, written) || written != measured) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::BodySizeChanged, measured, written);
        return Restore(start);
    }
    m_qwByteCount += 5 + measured;
    return true;
}

bool CArchive::ReadVariant(Variant& value) {
    value = Variant();
    if (!IsLoading()) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;
    uint32_t length;
    if (!ReadHeader(Tag::VariantData, length)) return Restore(start);
    Variant stored;
    VariantBodyReader reader(*this, length);
    try {
        if (!reader.ReadBody(stored, 1) || reader.Remaining() != 0) return Restore(start);
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::VariantAllocationFailed, length);
        return Restore(start);
    }
    value = std::move(stored);
    m_qwByteCount += 5 + uint64_t{length};
    return true;
}

}  // namespace pxLib
