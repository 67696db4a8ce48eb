// ZOLT::CIRT_FileDataExtender: the install layout data, a key-value collection
// that a product carries in its executable (the package archive
// "FDELayoutData") or in a side file "install.dat".
//
// For the run sequence:
//   ZOLT::CIRT_FileDataExtender data;
//   if (SUCCEEDED(data.LoadFromStorage(folder + L"install.dat"))) {      // the file form
//       uint32_t kind = 0;
//       if (data.GetCollection()->GetUInt32(1001, kind)) ...             // entry 1001, kind 7
//       std::u16string code;
//       data.GetCollection()->GetString(1002, code);                     // entry 1002, text
//   }
//   data.Load(modulePath);  // the module form, falling back to the side files
// After a successful load GetCollection() is never null; after a failed one it
// is null or empty.
#pragma once

#include "collections/values/KeyValueCollection.h"
#include "packer/PackerResult.h"

#include <string>

namespace ZOLT {

constexpr char16_t kLayoutArchiveId[] = u"FDELayoutData";
constexpr pxLib::Guid kLayoutArchiveType = {
    0xDA1E64B0, 0xA181, 0x4752, {0xB3, 0x19, 0xD6, 0x25, 0xE0, 0x5A, 0x98, 0x78}};
constexpr char16_t kSideFileName[] = u"install.dat";
// A string entry that never goes into a side file.
constexpr uint64_t kFilteredKey = 20041;

class CIRT_FileDataExtender {
public:
    CIRT_FileDataExtender() = default;
    CIRT_FileDataExtender(const CIRT_FileDataExtender&) = delete;
    CIRT_FileDataExtender& operator=(const CIRT_FileDataExtender&) = delete;

    // The module form: the archive "FDELayoutData" of the module's package,
    // else "install.dat" beside the module, else one folder up. When all fail,
    // the module's failure is returned.
    [[nodiscard]] HRESULT Load(const std::u16string& modulePath);
    // The file form: a side file. 0x80070490 when path is no file (a folder too).
    [[nodiscard]] HRESULT LoadFromStorage(const std::u16string& path);
    // Writes the collection to path without entry 20041, which stays in the
    // collection. The file is replaced in one step. 0x800700E8 for an empty
    // collection, 0x80004003 when there is none.
    [[nodiscard]] HRESULT SaveToStorage(const std::u16string& path);
#ifdef _WIN32
    [[nodiscard]] HRESULT Load(const std::wstring& modulePath) {
        return Load(Utf16(modulePath));
    }
    [[nodiscard]] HRESULT LoadFromStorage(const std::wstring& path) {
        return LoadFromStorage(Utf16(path));
    }
    [[nodiscard]] HRESULT SaveToStorage(const std::wstring& path) {
        return SaveToStorage(Utf16(path));
    }
#endif

    // Null until the first load (or EnsureCollection).
    pxLib::pxTavKeyValueCollection* GetCollection() const {
        return m_collection.get();
    }
    // The collection, created empty when there is none; null only without memory.
    pxLib::pxTavKeyValueCollection* EnsureCollection();
    // The side-file path last chosen by Load.
    const std::u16string& GetStorageKeyName() const {
        return m_strStorageKeyName;
    }

private:
#ifdef _WIN32
    static std::u16string Utf16(const std::wstring& s) {
        return std::u16string(s.begin(), s.end());
    }
#endif
    [[nodiscard]] HRESULT LoadWithFallbacks(const std::u16string& modulePath);
    [[nodiscard]] HRESULT LoadFile(const std::u16string& path);
    [[nodiscard]] HRESULT SaveFile(const std::u16string& path);
    [[nodiscard]] HRESULT LoadFromModule(const std::u16string& modulePath);
    [[nodiscard]] HRESULT LoadFromStream(pxLib::IByteStream* stream);
    [[nodiscard]] HRESULT SaveToStream(pxLib::IByteStream* stream);
    void ClearAfterFailure();

    pxLib::RefPtr<pxLib::pxTavKeyValueCollection> m_collection;
    std::u16string m_strStorageKeyName;
};

// The side-file path for a module: form 0 is "install.dat" in the module's
// folder, form 1 the one a folder up ("..\install.dat").
[[nodiscard]] HRESULT StorageKeyName(const std::u16string& modulePath, int form,
                                     std::u16string& name);

}  // namespace ZOLT
