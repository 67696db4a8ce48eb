// The verdict provider ("RUQCli64.dll", a sibling component): per-file
// attribute sets, of which the verifier reads the one named "pxHashProvider"
// and its 32-bit value "vtresult". The provider's module exports GetFactory
// and GetObjectCount; its factory for FACTORYID_VerdictProvider creates the
// root object for IID_IVerdictRoot.
#pragma once

#include "collections/factory/ObjectModel.h"

namespace pxLib {

constexpr Guid FACTORYID_VerdictProvider = {
    0x7D583EDC, 0x2726, 0x42B9, {0xB0, 0x64, 0x6B, 0xBC, 0x25, 0xE5, 0xB7, 0x9C}};
constexpr Guid IID_IVerdictRoot = {
    0x1AC5683D, 0x0733, 0x460C, {0x8F, 0x56, 0x96, 0xAD, 0xD5, 0x8C, 0xCC, 0xAA}};
constexpr Guid IID_IVerdictAttributeSet = {
    0x64D1A0F7, 0x3B95, 0x4C2E, {0xA8, 0x4B, 0x57, 0x0E, 0x19, 0xCF, 0x6D, 0x82}};
constexpr Guid IID_IVerdictAttribute = {
    0xC2E95B14, 0x8A67, 0x4D03, {0x9B, 0x71, 0x2F, 0x48, 0xE6, 0x0A, 0xB3, 0x9D}};
constexpr Guid IID_IVerdictValueList = {
    0x0F8B37C6, 0xD41E, 0x4A59, {0x86, 0x2C, 0xE3, 0x7A, 0x95, 0x10, 0x4B, 0xD8}};

constexpr char16_t kVerdictSetName[] = u"pxHashProvider";
constexpr char16_t kVerdictValueName[] = u"vtresult";
constexpr uint32_t kVerdictValueType = 1;        // a 32-bit value
constexpr uint32_t kVerdictValueReadable = 0x3;  // both low flag bits

class IVerdictAttribute : public IRefObject {
public:
    [[nodiscard]] virtual OBJRESULT GetType(uint32_t* type) = 0;
    [[nodiscard]] virtual OBJRESULT GetFlags(uint32_t* flags) = 0;

protected:
    ~IVerdictAttribute() = default;
};

class IVerdictValueList : public IRefObject {
public:
    [[nodiscard]] virtual OBJRESULT GetUInt32(const char16_t* name, uint32_t* value) = 0;

protected:
    ~IVerdictValueList() = default;
};

class IVerdictAttributeSet : public IRefObject {
public:
    // The description of one attribute of the set.
    [[nodiscard]] virtual OBJRESULT GetAttribute(const char16_t* name,
                                                 IVerdictAttribute** attribute) = 0;
    // The values of the given names for the set's file.
    [[nodiscard]] virtual OBJRESULT GetValues(const char16_t* const* names, uint32_t count,
                                              IVerdictValueList** values) = 0;

protected:
    ~IVerdictAttributeSet() = default;
};

class IVerdictRoot : public IRefObject {
public:
    // The attribute set named name; for a file when file is an open handle of
    // it, else the set's description.
    [[nodiscard]] virtual OBJRESULT GetAttributeSet(const char16_t* name, void* file,
                                                    IVerdictAttributeSet** set) = 0;

protected:
    ~IVerdictRoot() = default;
};

}  // namespace pxLib
