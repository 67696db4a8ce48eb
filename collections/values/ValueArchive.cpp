#include "collections/values/ValueArchive.h"

#include "collections/archive/DummyArchive.h"
#include "collections/values/Persist.h"
#include "collections/factory/ProcessObjectFactory.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xBC1C47C2, 0xAF54, 0x45CB, {0x86, 0xF3, 0xE7, 0x9D, 0x2C, 0xDE, 0x15, 0x0C}}};
enum class TraceEvent : uint16_t {
    ObjectNotPersistable = 1,
    ObjectTooLarge = 2,
    ObjectNotCreated = 3,
    ObjectNotLoaded = 4,
    UnknownKind = 5,
};

bool SaveObject(CArchive& archive, IRefObject* object) {
    RefPtr<IPersistObject> persist;
    if (!ObjSucceeded(QueryInto(object, IID_IPersistObject, persist))) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectNotPersistable);
        return false;
    }
    Guid classId;
    uint64_t size;
    if (!persist->GetClassId(classId) || !persist->GetSizeMax(size)) return false;
    if (size > UINT32_MAX) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectTooLarge, classId, size);
        return false;
    }
    return archive.WriteBinary(&classId, 16) &&
           archive.WriteRegionElement(CArchive::Tag::BinaryData, static_cast<uint32_t>(size),
                                      [&](IByteStream& region) { return persist->Save(&region); });
}

bool LoadObject(CArchive& archive, Value& value) {
    Guid classId;
    uint32_t size;
    if (!archive.Read(CArchive::Tag::BinaryData, &classId, 16, size) || size != 16) return false;
    RefPtr<IProcessObjectFactory> factory;
    if (!ObjSucceeded(GetProcessObjectFactory(factory))) return false;
    RefPtr<IPersistObject> persist;
    const OBJRESULT result =
        factory->CreateInstance(classId, IID_IPersistObject, persist.put_void());
    if (!ObjSucceeded(result) || !persist) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectNotCreated, classId, result);
        return false;
    }
    if (!archive.ReadRegionElement(CArchive::Tag::BinaryData, [&](IByteStream& region, uint32_t) {
            return persist->Load(&region);
        })) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ObjectNotLoaded, classId);
        return false;
    }
    value.SetObject(RefPtr<IRefObject>(persist.get()));
    return true;
}

}  // namespace

CArchive::Tag PayloadTag(ValueKind kind) {
    static const uint8_t kTags[kValueKindCount] = {0, 10, 12, 1,  13, 2, 6, 3,  14,
                                                   4, 5,  15, 16, 7,  8, 9, 11, 0};
    return CArchive::Tag{KindNumber(kind) < kValueKindCount ? kTags[KindNumber(kind)] : uint8_t{0}};
}

bool SaveValue(CArchive& archive, const Value& value) {
    const ValueKind kind = value.Kind();
    if (!archive.WriteUInt8(KindNumber(kind))) return false;
    switch (kind) {
        case ValueKind::Empty:
            return true;
        case ValueKind::Guid:
            return archive.Write(CArchive::Tag::GuidData, value.AsGuid(), 16);
        case ValueKind::Record16:
            return archive.Write(CArchive::Tag::Record16Data, value.AsRecord16(), 16);
        case ValueKind::String:
            return archive.WriteString(value.AsString()->c_str());
        case ValueKind::WString:
            return archive.WriteWString(value.AsWString()->c_str());
        case ValueKind::Binary: {
            const std::vector<uint8_t>& block = *value.AsBinary();
            return block.size() <= UINT32_MAX &&
                   archive.WriteBinary(block.data(), static_cast<uint32_t>(block.size()));
        }
        case ValueKind::Variant:
            return archive.WriteVariant(*value.AsVariant());
        case ValueKind::Object:
            return SaveObject(archive, value.AsObject());
        default:
            return archive.Write(PayloadTag(kind), value.InPlace(value.Kind()),
                                 Value::InPlaceWidth(kind));
    }
}

bool LoadValue(CArchive& archive, Value& value) {
    value.Clear();
    uint8_t number;
    if (!archive.ReadUInt8(number)) return false;
    const ValueKind kind = static_cast<ValueKind>(number);
    switch (kind) {
        case ValueKind::Empty:
            return true;
        case ValueKind::Guid: {
            Guid guid;
            if (!archive.ReadGuid(guid)) return false;
            value.SetGuid(guid);
            return true;
        }
        case ValueKind::Record16: {
            Record16 record;
            if (!archive.ReadRecord16(record)) return false;
            value.SetRecord16(record);
            return true;
        }
        case ValueKind::String: {
            std::string text;
            if (!archive.ReadString(text)) return false;
            value.SetString(std::move(text));
            return true;
        }
        case ValueKind::WString: {
            std::u16string text;
            if (!archive.ReadWString(text)) return false;
            value.SetWString(std::move(text));
            return true;
        }
        case ValueKind::Binary: {
            std::vector<uint8_t> block;
            if (!archive.ReadBinary(block)) return false;
            value.SetBinary(std::move(block));
            return true;
        }
        case ValueKind::Variant: {
            Variant variant;
            if (!archive.ReadVariant(variant)) return false;
            value.SetVariant(std::move(variant));
            return true;
        }
        case ValueKind::Object:
            return LoadObject(archive, value);
        default: {
            const uint32_t width = Value::InPlaceWidth(kind);
            if (width == 0) {
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::UnknownKind, uint32_t{number});
                return false;
            }
            uint64_t payload = 0;
            uint32_t size;
            if (!archive.Read(PayloadTag(kind), &payload, width, size)) return false;
            value.SetInPlace(kind, &payload);
            return true;
        }
    }
}

uint64_t PayloadSize(const Value& value) {
    switch (value.Kind()) {
        case ValueKind::Empty:
            return 0;
        case ValueKind::Guid:
        case ValueKind::Record16:
            return 16;
        case ValueKind::String:
            return value.AsString()->size() + 1;
        case ValueKind::WString:
            return (value.AsWString()->size() + 1) * 2;
        case ValueKind::Binary:
            return value.AsBinary()->size();
        case ValueKind::Variant: {
            CDummyArchive measure;
            return measure.WriteVariant(*value.AsVariant()) ? measure.GetByteCount() - 5 : 0;
        }
        case ValueKind::Object: {
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
