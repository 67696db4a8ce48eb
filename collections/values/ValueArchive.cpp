#include "collections/values/ValueArchive.h"

#include "collections/archive/DummyArchive.h"
#include "collections/values/Persist.h"
#include "collections/factory/ProcessObjectFactory.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xBC1C47C2, 0xAF54, 0x45CB, {0x86, 0xF3, 0xE7, 0x9D, 0x2C, 0xDE, 0x15, 0x0C}}};

bool SaveObject(CArchive& archive, IRefObject* object) {
    RefPtr<IPersistObject> persist;
    if (!ObjSucceeded(QueryInto(object, IID_IPersistObject, persist))) {
        Trace(kTraceSource, TraceLevel::Error, 1);
        return false;
    }
    Guid classId;
    uint64_t size;
    if (!persist->GetClassId(classId) || !persist->GetSizeMax(size)) return false;
    if (size > UINT32_MAX) {
        Trace(kTraceSource, TraceLevel::Error, 2, classId, size);
        return false;
    }
    return archive.WriteBinary(&classId, 16) &&
           archive.WriteRegionElement(CArchive::eBinaryData, static_cast<uint32_t>(size),
                                      [&](IByteStream& region) { return persist->Save(&region); });
}

bool LoadObject(CArchive& archive, Value& value) {
    Guid classId;
    uint32_t size;
    if (!archive.Read(CArchive::eBinaryData, &classId, 16, size) || size != 16) return false;
    RefPtr<IProcessObjectFactory> factory;
    if (!ObjSucceeded(GetProcessObjectFactory(factory))) return false;
    RefPtr<IPersistObject> persist;
    const OBJRESULT result =
        factory->CreateInstance(classId, IID_IPersistObject, persist.put_void());
    if (!ObjSucceeded(result) || !persist) {
        Trace(kTraceSource, TraceLevel::Error, 3, classId, result);
        return false;
    }
    if (!archive.ReadRegionElement(CArchive::eBinaryData, [&](IByteStream& region, uint32_t) {
            return persist->Load(&region);
        })) {
        Trace(kTraceSource, TraceLevel::Error, 4, classId);
        return false;
    }
    value.SetObject(RefPtr<IRefObject>(persist.get()));
    return true;
}

}  // namespace

uint8_t PayloadTag(uint8_t kind) {
    static const uint8_t kTags[kValueKindCount] = {0, 10, 12, 1,  13, 2, 6, 3,  14,
                                                   4, 5,  15, 16, 7,  8, 9, 11, 0};
    return kind < kValueKindCount ? kTags[kind] : 0;
}

bool SaveValue(CArchive& archive, const Value& value) {
    const uint8_t kind = value.Kind();
    if (!archive.WriteUInt8(kind)) return false;
    switch (kind) {
        case eKindEmpty:
            return true;
        case eKindGuid:
            return archive.Write(CArchive::eGuidData, value.AsGuid(), 16);
        case eKindRecord16:
            return archive.Write(CArchive::eRecord16Data, value.AsRecord16(), 16);
        case eKindString:
            return archive.WriteString(value.AsString()->c_str());
        case eKindWString:
            return archive.WriteWString(value.AsWString()->c_str());
        case eKindBinary: {
            const std::vector<uint8_t>& block = *value.AsBinary();
            return block.size() <= UINT32_MAX &&
                   archive.WriteBinary(block.data(), static_cast<uint32_t>(block.size()));
        }
        case eKindVariant:
            return archive.WriteVariant(*value.AsVariant());
        case eKindObject:
            return SaveObject(archive, value.AsObject());
        default:
            return archive.Write(PayloadTag(kind), value.InPlace(value.Kind()),
                                 Value::InPlaceWidth(kind));
    }
}

bool LoadValue(CArchive& archive, Value& value) {
    value.Clear();
    uint8_t kind;
    if (!archive.ReadUInt8(kind)) return false;
    switch (kind) {
        case eKindEmpty:
            return true;
        case eKindGuid: {
            Guid guid;
            if (!archive.ReadGuid(guid)) return false;
            value.SetGuid(guid);
            return true;
        }
        case eKindRecord16: {
            Record16 record;
            if (!archive.ReadRecord16(record)) return false;
            value.SetRecord16(record);
            return true;
        }
        case eKindString: {
            std::string text;
            if (!archive.ReadString(text)) return false;
            value.SetString(std::move(text));
            return true;
        }
        case eKindWString: {
            std::u16string text;
            if (!archive.ReadWString(text)) return false;
            value.SetWString(std::move(text));
            return true;
        }
        case eKindBinary: {
            std::vector<uint8_t> block;
            if (!archive.ReadBinary(block)) return false;
            value.SetBinary(std::move(block));
            return true;
        }
        case eKindVariant: {
            Variant variant;
            if (!archive.ReadVariant(variant)) return false;
            value.SetVariant(std::move(variant));
            return true;
        }
        case eKindObject:
            return LoadObject(archive, value);
        default: {
            const uint32_t width = Value::InPlaceWidth(kind);
            if (width == 0) {
                Trace(kTraceSource, TraceLevel::Error, 5, uint32_t{kind});
                return false;
            }
            uint64_t payload = 0;
            uint32_t size;
            if (!archive.Read(PayloadTag(kind), &payload, width, size)) return false;
            value.SetInPlace(static_cast<ValueKind>(kind), &payload);
            return true;
        }
    }
}

uint64_t PayloadSize(const Value& value) {
    switch (value.Kind()) {
        case eKindEmpty:
            return 0;
        case eKindGuid:
        case eKindRecord16:
            return 16;
        case eKindString:
            return value.AsString()->size() + 1;
        case eKindWString:
            return (value.AsWString()->size() + 1) * 2;
        case eKindBinary:
            return value.AsBinary()->size();
        case eKindVariant: {
            CDummyArchive measure;
            return measure.WriteVariant(*value.AsVariant()) ? measure.GetByteCount() - 5 : 0;
        }
        case eKindObject: {
            RefPtr<IPersistObject> persist;
            uint64_t size = 0;
            if (!ObjSucceeded(QueryInto(value.AsObject(), IID_IPersistObject, persist)) ||
                !persist->GetSizeMax(size))
                return 0;
            return size;
        }
        default:
            return Value::InPlaceWidth(value.Kind());
    }
}

}  // namespace pxLib
