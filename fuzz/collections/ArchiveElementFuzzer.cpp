// The archive's element reader over arbitrary bytes. Besides the sanitizers it
// checks the archive's promises: a failed element leaves position and byte
// count unchanged, a read element moves both by exactly its size, and a
// variant or block read back writes the very bytes it was read from.
#include "collections/archive/MemoryArchive.h"
#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "collections/archive/TavStreamArchive.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using pxLib::CArchive;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

uint64_t Position(CArchive& archive) {
    uint64_t position = 0;
    Check(archive.GetPosition(position));
    return position;
}

std::vector<uint8_t> Slice(const uint8_t* data, uint64_t from, uint64_t to) {
    return std::vector<uint8_t>(data + from, data + to);
}

// Reads one element of the peeked tag; true when it was read.
bool ReadOne(CArchive& archive, CArchive::Tag tag, uint32_t size, const uint8_t* all) {
    const uint64_t start = Position(archive);
    switch (tag) {
        case CArchive::Tag::StringData: {
            std::string text;
            return archive.ReadString(text);
        }
        case CArchive::Tag::eWStringData: {
            std::u16string text;
            char16_t small[4];
            return size % 2 == 0 && size / 2 <= 4 ? archive.ReadWString(small, 4)
                                                  : archive.ReadWString(text);
        }
        case CArchive::Tag::BinaryData: {
            if (size % 3 == 0) {
                return archive.ReadRegionElement(
                    CArchive::Tag::BinaryData, [&](pxLib::IByteStream& region, uint32_t length) {
                        std::vector<uint8_t> bytes(length);
                        return region.Read(bytes.data(), length) && !region.Read(bytes.data(), 1);
                    });
            }
            std::vector<uint8_t> block;
            if (!archive.ReadBinary(block)) return false;
            pxLib::CMemoryArchive again(CArchive::Mode::Store);
            Check(again.WriteBinary(block.data(), static_cast<uint32_t>(block.size())));
            Check(again.Block() == Slice(all, start, Position(archive)));
            return true;
        }
        case CArchive::Tag::VariantData: {
            pxLib::Variant value;
            if (!archive.ReadVariant(value)) return false;
            pxLib::CMemoryArchive again(CArchive::Mode::Store);
            Check(again.WriteVariant(value));
            Check(again.Block() == Slice(all, start, Position(archive)));
            return true;
        }
        default: {
            uint8_t buffer[16];
            uint32_t read = 0;
            return archive.Read(tag, buffer, sizeof(buffer), read);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0] % 3;
    std::vector<uint8_t> bytes(data + 1, data + size);

    // The same bytes through the memory archive, a stream archive, and a
    // stream archive over a region that starts inside a larger stream.
    std::unique_ptr<CArchive> archive;
    std::vector<uint8_t> padded;
    uint64_t base = 0;
    if (mode == 0) {
        archive.reset(new pxLib::CMemoryArchive(CArchive::Mode::Load, bytes));
    } else {
        padded = bytes;
        pxLib::RefPtr<pxLib::IByteStream> stream;
        if (mode == 2) {
            base = 3;
            padded.insert(padded.begin(), {0xAA, 0xBB, 0xCC});
            padded.push_back(0xDD);
            auto whole = pxLib::MemoryStream::Create(padded);
            stream = pxLib::RefPtr<pxLib::IByteStream>(new pxLib::RegionStream(
                pxLib::RefPtr<pxLib::IByteStream>(whole.get()), base, bytes.size()));
        } else {
            stream = pxLib::RefPtr<pxLib::IByteStream>(pxLib::MemoryStream::Create(bytes).get());
        }
        archive.reset(new pxLib::CTavStreamArchive(CArchive::Mode::Load, stream.get()));
    }

    for (int elements = 0; elements < 256; ++elements) {
        const uint64_t position = Position(*archive);
        if (position >= bytes.size()) break;
        const uint64_t count = archive->GetByteCount();
        CArchive::Tag tag;
        uint32_t length;
        if (!archive->PeekElement(tag, length)) break;
        Check(Position(*archive) == position);
        if (ReadOne(*archive, tag, length, bytes.data())) {
            const uint64_t header = CArchive::FixedSize(tag) != 0 ? 1 : 5;
            Check(Position(*archive) == position + header + length);
            Check(archive->GetByteCount() == count + header + length);
        } else {
            Check(Position(*archive) == position);
            Check(archive->GetByteCount() == count);
            // Step over one byte and look for the next element there.
            if (!archive->SetPosition(position + 1)) break;
        }
    }
    return 0;
}
