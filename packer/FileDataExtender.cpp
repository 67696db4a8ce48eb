// The install layout data: loading from a module's package or a side file, and
// saving to a side file without the filtered entry.
#include "packer/FileDataExtender.h"

#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "packer/FilePackerEx.h"
#include "packer/FileSystem.h"
#include "packer/PackerLog.h"
#include "packer/StreamStatus.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Log.h"

#include <mutex>
#include <new>

namespace ZOLT {
namespace {

const char16_t kSource[] = u"FileDataExtender";

// The module-wide copy of the filtered entry while a save runs. Its lock is
// held for the whole save, so saves never overlap.
struct FilteredKeyCopy {
    std::mutex m_lock;
    std::u16string m_text;
    pxLib::ValueKind m_kind = pxLib::ValueKind::Empty;  // Empty: nothing saved
};

FilteredKeyCopy& SavedFilteredKey() {
    static FilteredKeyCopy copy;
    return copy;
}

// Puts the filtered entry back, in the kind it had, on every path of a save.
class FilteredKeyRestore {
public:
    FilteredKeyRestore(FilteredKeyCopy& copy, pxLib::pxTavKeyValueCollection* collection)
        : m_copy(copy), m_collection(collection) {}
    ~FilteredKeyRestore() {
        if (m_copy.m_kind != pxLib::ValueKind::Empty && m_collection != nullptr) {
            try {
                bool restored = false;
                if (m_copy.m_kind == pxLib::ValueKind::String) {
                    // A single-byte string was widened unit by unit; narrowing is exact.
                    const std::string narrow(m_copy.m_text.begin(), m_copy.m_text.end());
                    restored = m_collection->SetAnsiString(kFilteredKey, narrow);
                } else {
                    restored = m_collection->SetString(kFilteredKey, m_copy.m_text);
                }
                if (!restored) pxLib::LogError(u"Error restoring filtered FDE Keys");
            } catch (const std::bad_alloc&) {
                pxLib::LogError(u"Memory error handling filtered FDE Keys");
            }
        }
        m_copy.m_text.clear();
        m_copy.m_kind = pxLib::ValueKind::Empty;
    }

private:
    FilteredKeyCopy& m_copy;
    pxLib::pxTavKeyValueCollection* m_collection;
};

}  // namespace

HRESULT CIRT_FileDataExtender::Load(const std::u16string& modulePath) {
    return pxLib::GuardedCall(kSource, __LINE__, kHrUnexpected,
                              [&] { return LoadWithFallbacks(modulePath); });
}

HRESULT CIRT_FileDataExtender::LoadFromStorage(const std::u16string& path) {
    return pxLib::GuardedCall(kSource, __LINE__, kHrUnexpected, [&] { return LoadFile(path); });
}

HRESULT CIRT_FileDataExtender::SaveToStorage(const std::u16string& path) {
    return pxLib::GuardedCall(kSource, __LINE__, kHrUnexpected, [&] { return SaveFile(path); });
}

pxLib::pxTavKeyValueCollection* CIRT_FileDataExtender::EnsureCollection() {
    if (!m_collection) {
        try {
            m_collection = pxLib::pxTavKeyValueCollection::Create();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return m_collection.get();
}

void CIRT_FileDataExtender::ClearAfterFailure() {
    if (m_collection) m_collection->Clear();
}

HRESULT CIRT_FileDataExtender::LoadWithFallbacks(const std::u16string& modulePath) {
    if (modulePath.empty()) {
        pxLib::LogError(u"Null or Empty parameter");
        return kHrInvalidArg;
    }
    const HRESULT moduleResult = LoadFromModule(modulePath);
    if (!Failed(moduleResult)) {
        pxLib::LogInformation(u"FDE Data loaded from %s", modulePath);
        return StorageKeyName(modulePath, 0, m_strStorageKeyName);
    }
    pxLib::LogInformation(
        u"Unable to load data from module, falling back to install.dat 0x%08x (%s)", 0, modulePath);
    for (int form = 0; form < 2; ++form) {
        std::u16string name;
        const HRESULT hr = StorageKeyName(modulePath, form, name);
        if (Failed(hr)) {
            pxLib::LogError(u"Failed to get storage key name for %s. HRESULT 0x%08x", modulePath,
                            hr);
            ClearAfterFailure();
            return moduleResult;
        }
        m_strStorageKeyName = std::move(name);
        if (!Failed(LoadFile(m_strStorageKeyName))) {
            pxLib::LogInformation(u"FDE Data loaded from storage %s", m_strStorageKeyName);
            return kHrOk;
        }
    }
    ClearAfterFailure();
    return moduleResult;
}

HRESULT CIRT_FileDataExtender::LoadFromModule(const std::u16string& modulePath) {
    CFilePackerEx packer;
    HRESULT hr = packer.Open(modulePath);
    ZOLT_RETURN_IF_FAILED_LOG(hr, u"Failed to open file %s in Packer. HRESULT 0x%08x", modulePath);
    if (!packer.HasArchive(kLayoutArchiveId, kLayoutArchiveType)) {
        pxLib::LogInformation(u"Data not found in Module %s", modulePath);
        return kHrNotFound;
    }
    pxLib::RefPtr<pxLib::IByteStream> stream;
    hr = packer.ExtractStream(kLayoutArchiveId, kLayoutArchiveType, stream);
    ZOLT_RETURN_IF_FAILED_LOG(hr, u"Failed to extract stream from file %s. HRESULT 0x%08x",
                              modulePath);
    const CFilePackerEx::CArchiveInfo* archive =
        packer.FindArchive(kLayoutArchiveId, kLayoutArchiveType);
    uint64_t fileSize = 0;
    hr = SetPosition(stream.get(), archive->GetOffset());
    if (!Failed(hr)) hr = GetSize(stream.get(), fileSize);
    if (!Failed(hr) && archive->GetOffset() + archive->GetSize() > fileSize) hr = kHrHandleEof;
    if (Failed(hr)) {
        pxLib::LogError(u"Failed to set stream position");
        return hr;
    }
    // The collection may read only its own archive, never the bytes behind it.
    pxLib::RefPtr<pxLib::IByteStream> region;
    try {
        region = pxLib::RefPtr<pxLib::IByteStream>(
            new pxLib::RegionStream(stream, archive->GetOffset(), archive->GetSize()));
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    }
    hr = LoadFromStream(region.get());
    ZOLT_RETURN_IF_FAILED_LOG(hr, u"Failed to deserialize stream to KVC. HRESULT 0x%08x");
    return kHrOk;
}

HRESULT CIRT_FileDataExtender::LoadFile(const std::u16string& path) {
    uint32_t error = 0;
    if (!IsExistingFile(path, error)) {
        pxLib::LogWarning(u"File %s not found", path);
        ClearAfterFailure();
        return kHrNotFound;
    }
    // Reading never creates the file, should it vanish after the look-up.
    pxLib::RefPtr<IFileStream> file;
    HRESULT hr = CreateFileStream(path, FileAccess::Read, FileDisposition::OpenExisting, file);
    if (Failed(hr)) {
        pxLib::LogError(u"Failed to Create Stream for file %s. HRESULT 0x%08x", path, hr);
        ClearAfterFailure();
        return hr;
    }
    hr = LoadFromStream(file.get());
    if (Failed(hr)) ClearAfterFailure();
    return hr;
}

HRESULT CIRT_FileDataExtender::LoadFromStream(pxLib::IByteStream* stream) {
    if (stream == nullptr) return kHrInvalidArg;
    if (EnsureCollection() == nullptr) return kHrOutOfMemory;
    pxLib::RefPtr<pxLib::IPersistObject> persist;
    if (!pxLib::ObjSucceeded(
            pxLib::QueryInto(static_cast<pxLib::IPersistObject*>(m_collection.get()),
                             pxLib::IID_IPersistObject, persist)) ||
        !persist)
        return kHrNoInterface;
    return persist->Load(stream) ? kHrOk : kHrUnexpected;
}

HRESULT CIRT_FileDataExtender::SaveToStream(pxLib::IByteStream* stream) {
    if (stream == nullptr) return kHrInvalidArg;
    if (!m_collection) return kHrPointer;
    if (m_collection->GetCount() == 0) return kHrNoData;
    pxLib::RefPtr<pxLib::IPersistObject> persist;
    if (!pxLib::ObjSucceeded(
            pxLib::QueryInto(static_cast<pxLib::IPersistObject*>(m_collection.get()),
                             pxLib::IID_IPersistObject, persist)) ||
        !persist)
        return kHrNoInterface;
    return persist->Save(stream) ? kHrOk : kHrUnexpected;
}

HRESULT CIRT_FileDataExtender::SaveFile(const std::u16string& path) {
    if (path.empty()) {
        pxLib::LogError(u"Invalid parameter. Storage Key Name is empty");
        return kHrInvalidArg;
    }
    FilteredKeyCopy& copy = SavedFilteredKey();
    std::lock_guard<std::mutex> lock(copy.m_lock);
    if (m_collection) {
        const pxLib::ValueKind kind = m_collection->GetValueKind(kFilteredKey);
        if (kind == pxLib::ValueKind::WString || kind == pxLib::ValueKind::String) {
            try {
                if (m_collection->GetString(kFilteredKey, copy.m_text)) {
                    copy.m_kind = kind;
                    // Just read, so it is there to remove.
                    static_cast<void>(m_collection->Remove(kFilteredKey));
                }
            } catch (const std::bad_alloc&) {
                pxLib::LogError(u"Memory error handling filtered FDE Keys");
                copy.m_text.clear();
                copy.m_kind = pxLib::ValueKind::Empty;
            }
        }
    }
    const FilteredKeyRestore restore(copy, m_collection.get());

    pxLib::RefPtr<pxLib::MemoryStream> memory;
    try {
        memory = pxLib::MemoryStream::Create();
    } catch (const std::bad_alloc&) {
        pxLib::LogError(u"Out of Memory");
        return kHrUnexpected;
    }
    HRESULT hr = SaveToStream(memory.get());
    if (Failed(hr)) return hr;
    uint64_t size = 0;
    if (!memory->GetSize(size)) {
        pxLib::LogError(u"Failed to get stream size");
        return kHrUnexpected;
    }
    // A new file in the same folder takes the old one's place in one step: a
    // reader never sees a torn file or the tail of a longer old one.
    hr = ReplaceFileWith(path, memory.get());
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CIRT_FileDataExtender::SaveToStorage(336) : Failed to Create "
                              u"Stream for file %s. HRESULT 0x%08x",
                              path);
    return kHrOk;
}

}  // namespace ZOLT
