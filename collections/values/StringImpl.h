// The string object: a persistable holder of no string, a single-byte string
// or a UTF-16 string.
#pragma once

#include "collections/values/PersistObjectBase.h"

#include <string>
#include <string_view>

namespace pxLib {

constexpr Guid CLSID_CStringImpl = {
    0x3F05A321, 0x43B7, 0x4578, {0x93, 0xC8, 0xCD, 0xC5, 0xF6, 0x4A, 0x14, 0x9A}};

class CStringImpl final : public PersistObjectBase {
public:
    enum class StringType : int32_t { NoString = 0, Narrow = 1, Wide = 2 };

    CStringImpl() : PersistObjectBase(CLSID_CStringImpl) {}
    static RefPtr<CStringImpl> Create() { return RefPtr<CStringImpl>(new CStringImpl); }
    [[nodiscard]] static OBJRESULT CreateInstance(const Guid& iid, void** out);

    StringType GetStringType() const { return m_eStringType; }
    const std::string& GetNarrow() const { return m_narrow; }
    const std::u16string& GetWide() const { return m_wide; }
    // Texts end at their first NUL, as they are persisted.
    void SetNarrow(std::string_view text);
    void SetWide(std::u16string_view text);
    void SetNoString();

    // Version 1 (tag 6), the string type (tag 6), then a tag-7 or tag-8
    // element for types 1 and 2.
    [[nodiscard]] bool SaveTo(CArchive& archive) override;
    [[nodiscard]] bool LoadFrom(CArchive& archive) override;
    [[nodiscard]] bool Clone(RefPtr<IRefObject>& copy) override;

protected:
    void* ClassSelf() override { return this; }

private:
    StringType m_eStringType = StringType::NoString;
    std::string m_narrow;
    std::u16string m_wide;
};

}  // namespace pxLib
