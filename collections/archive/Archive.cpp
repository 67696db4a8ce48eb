#include "collections/archive/Archive.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x94396B13, 0x1D14, 0x4BF2, {0xA3, 0xCE, 0x5F, 0x6F, 0x96, 0x47, 0xB5, 0x2E}}};
enum class TraceEvent : uint16_t {
    LengthBeyondData = 1,
    PayloadAllocationFailed = 2,
};

size_t WideLength(const char16_t* text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// Strings travel with their terminator; a payload without one is refused so
// that no reader ever hands out unterminated text.
bool EndsWithNarrowNul(const void* payload, uint32_t size) {
    return size >= 1 && static_cast<const char*>(payload)[size - 1] == 0;
}

bool EndsWithWideNul(const void* payload, uint32_t size) {
    if (size < 2 || size % 2 != 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(payload);
    return bytes[size - 1] == 0 && bytes[size - 2] == 0;
}

}  // namespace

uint32_t CArchive::FixedSize(Tag tag) {
    static const uint8_t kSizes[17] = {0, 1, 2, 4, 8, 8, 4, 0, 0, 0, 1, 0, 1, 2, 8, 16, 16};
    return TagByte(tag) < 17 ? kSizes[TagByte(tag)] : 0;
}

bool CArchive::IsVariableSize(Tag tag) {
    return tag == Tag::StringData || tag == Tag::eWStringData || tag == Tag::BinaryData ||
           tag == Tag::VariantData;
}

bool CArchive::CreateSubStream(uint32_t, bool, RefPtr<IByteStream>& stream) {
    stream.reset();
    return false;
}

bool CArchive::BeginElement(uint64_t& position) {
    if (!GetPosition(position)) return false;
    if (!m_bStarted) {
        m_bStarted = true;
        m_qwStartPosition = position;
    }
    return true;
}

bool CArchive::Restore(uint64_t position) {
    // The element failed already; a failed move back adds nothing to that.
    static_cast<void>(SetPosition(position));
    return false;
}

bool CArchive::Write(Tag tag, const void* data, uint32_t size) {
    if (!IsStoring() || !IsValidTag(tag)) return false;
    const bool variable = IsVariableSize(tag);
    if (!variable && size != FixedSize(tag)) return false;
    if (size != 0 && data == nullptr) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;

    // Small elements go down in one piece.
    uint8_t header[5 + 32];
    uint32_t headerSize = 1;
    header[0] = TagByte(tag);
    if (variable) {
        std::memcpy(header + 1, &size, 4);
        headerSize = 5;
    }
    if (size <= sizeof(header) - headerSize) {
        if (size != 0) std::memcpy(header + headerSize, data, size);
        if (!WriteBytes(header, headerSize + size)) return Restore(start);
    } else if (!WriteBytes(header, headerSize) || !WriteBytes(data, size)) {
        return Restore(start);
    }
    m_qwByteCount += headerSize + uint64_t{size};
    return true;
}

bool CArchive::ReadHeader(Tag tag, uint32_t& size) {
    // Tag and length in one read: if either is missing the element fails alike.
    uint8_t header[5];
    if (IsVariableSize(tag)) {
        if (!ReadBytes(header, 5) || header[0] != TagByte(tag)) return false;
        std::memcpy(&size, header + 1, 4);
        return true;
    }
    if (!ReadBytes(header, 1) || header[0] != TagByte(tag)) return false;
    size = FixedSize(tag);
    return true;
}

bool CArchive::Read(Tag expectedTag, void* buffer, uint32_t capacity, uint32_t& size) {
    size = 0;
    if (!IsLoading() || !IsValidTag(expectedTag)) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;
    const uint32_t fixed = FixedSize(expectedTag);
    uint32_t stored = fixed;
    if (fixed != 0 && fixed <= capacity && buffer != nullptr) {
        // Tag and payload of a fixed-size element in one read.
        uint8_t element[1 + 16];
        if (!ReadBytes(element, 1 + fixed) || element[0] != TagByte(expectedTag))
            return Restore(start);
        std::memcpy(buffer, element + 1, fixed);
    } else {
        if (!ReadHeader(expectedTag, stored)) return Restore(start);
        if (stored > capacity || (stored != 0 && buffer == nullptr)) return Restore(start);
        if (!ReadBytes(buffer, stored)) return Restore(start);
    }
    size = stored;
    m_qwByteCount += (fixed != 0 ? 1 : 5) + uint64_t{stored};
    return true;
}

bool CArchive::ReadScalar(Tag tag, void* value, uint32_t width) {
    uint32_t size;
    return Read(tag, value, width, size);
}

bool CArchive::PeekElement(Tag& tag, uint32_t& size) {
    tag = Tag{0};
    size = 0;
    if (!IsLoading()) return false;
    uint64_t start;
    if (!GetPosition(start)) return false;
    uint8_t stored;
    bool ok = ReadBytes(&stored, 1);
    uint32_t storedSize = 0;
    if (ok) {
        // Tags that are not fixed-size, valid or not, are followed by a length.
        const uint32_t fixed = FixedSize(Tag{stored});
        if (fixed != 0)
            storedSize = fixed;
        else
            ok = ReadBytes(&storedSize, 4);
    }
    if (!SetPosition(start)) return false;
    if (!ok) return false;
    tag = Tag{stored};
    size = storedSize;
    return true;
}

bool CArchive::ProveAvailable(uint64_t count) {
    if (count == 0) return true;
    uint64_t position;
    if (!GetPosition(position)) return false;
    if (!SetPosition(position + count - 1)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::LengthBeyondData, position, count);
        return false;
    }
    return SetPosition(position);
}

template <class Allocate, class Check>
bool CArchive::ReadSized(Tag tag, Allocate&& allocate, Check&& check) {
    if (!IsLoading()) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;
    uint32_t size;
    if (!ReadHeader(tag, size) || !ProveAvailable(size)) return Restore(start);
    void* buffer;
    try {
        buffer = allocate(size);
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PayloadAllocationFailed, size);
        return Restore(start);
    }
    if (buffer == nullptr && size != 0) return Restore(start);
    if (!ReadBytes(buffer, size)) return Restore(start);
    if (!check(buffer, size)) return Restore(start);
    m_qwByteCount += 5 + uint64_t{size};
    return true;
}

bool CArchive::WriteBool(bool value) {
    const uint8_t byte = value ? 1 : 0;
    return Write(Tag::BoolData, &byte, 1);
}

bool CArchive::ReadBool(bool& value) {
    uint8_t byte;
    if (!ReadScalar(Tag::BoolData, &byte, 1)) return false;
    value = byte != 0;
    return true;
}

bool CArchive::WriteString(const char* text) {
    if (text == nullptr) return false;
    const size_t length = std::strlen(text) + 1;
    if (length > UINT32_MAX) return false;
    return Write(Tag::StringData, text, static_cast<uint32_t>(length));
}

bool CArchive::WriteWString(const char16_t* text) {
    if (text == nullptr) return false;
    const uint64_t bytes = (uint64_t{WideLength(text)} + 1) * 2;
    if (bytes > UINT32_MAX) return false;
    return Write(Tag::eWStringData, text, static_cast<uint32_t>(bytes));
}

bool CArchive::ReadString(char* buffer, uint32_t capacity) {
    if (buffer == nullptr) return false;
    return ReadSized(
        Tag::StringData,
        [&](uint32_t size) -> void* { return size <= capacity ? buffer : nullptr; },
        EndsWithNarrowNul);
}

bool CArchive::ReadWString(char16_t* buffer, uint32_t capacity) {
    if (buffer == nullptr) return false;
    return ReadSized(
        Tag::eWStringData,
        [&](uint32_t size) -> void* { return size / 2 <= capacity ? buffer : nullptr; },
        EndsWithWideNul);
}

bool CArchive::ReadString(std::string& text) {
    std::string stored;
    if (!ReadSized(
            Tag::StringData,
            [&](uint32_t size) -> void* {
                stored.resize(size);
                return &stored[0];
            },
            EndsWithNarrowNul))
        return false;
    stored.resize(std::strlen(stored.c_str()));
    text = std::move(stored);
    return true;
}

bool CArchive::ReadWString(std::u16string& text) {
    std::u16string stored;
    if (!ReadSized(
            Tag::eWStringData,
            [&](uint32_t size) -> void* {
                stored.resize(size / 2);
                return &stored[0];
            },
            EndsWithWideNul))
        return false;
    stored.resize(WideLength(stored.c_str()));
    text = std::move(stored);
    return true;
}

bool CArchive::ReadBinary(std::vector<uint8_t>& block) {
    std::vector<uint8_t> stored;
    if (!ReadSized(
            Tag::BinaryData,
            [&](uint32_t size) -> void* {
                stored.resize(size);
                return stored.data();
            },
            [](const void*, uint32_t) { return true; }))
        return false;
    block = std::move(stored);
    return true;
}

bool CArchive::WriteRegionElement(Tag tag, uint32_t size,
                                  const std::function<bool(IByteStream&)>& fill) {
    if (!IsStoring() || !IsVariableSize(tag)) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;
    uint8_t header[5] = {TagByte(tag)};
    std::memcpy(header + 1, &size, 4);
    if (!WriteBytes(header, 5)) return Restore(start);
    RefPtr<IByteStream> region;
    if (!CreateSubStream(size, true, region) || !region) return Restore(start);
    // A measuring archive keeps nothing, so the region's bytes need not be made.
    if (!IsMeasuring() && !fill(*region)) return Restore(start);
    m_qwByteCount += 5 + uint64_t{size};
    return true;
}

bool CArchive::ReadRegionElement(Tag tag,
                                 const std::function<bool(IByteStream&, uint32_t)>& consume) {
    if (!IsLoading() || !IsVariableSize(tag)) return false;
    uint64_t start;
    if (!BeginElement(start)) return false;
    uint32_t size;
    if (!ReadHeader(tag, size)) return Restore(start);
    RefPtr<IByteStream> region;
    if (!CreateSubStream(size, false, region) || !region) return Restore(start);
    if (!consume(*region, size)) return Restore(start);
    m_qwByteCount += 5 + uint64_t{size};
    return true;
}

}  // namespace pxLib
