// The shared settings store as the settings module ("pxSet.dll") offers it:
// keys named by backslash paths, each with subkeys and string values. The
// object repository reads "Plexor\OBJID" from it.
#pragma once

#include "collections/factory/ObjectModel.h"

namespace pxLib {

constexpr Guid FACTORYID_SettingsStore = {
    0x4E0C7A3D, 0x92B1, 0x4F6A, {0xB8, 0x15, 0x3A, 0x6D, 0xC2, 0x97, 0x50, 0xE4}};
constexpr Guid IID_ISettingsStore = {
    0xA17F2E58, 0x6C04, 0x4B3D, {0x9F, 0x62, 0x0B, 0x85, 0xD1, 0x4A, 0x3E, 0x27}};

class ISettingsStore : public IRefObject {
public:
    // The name of the index-th subkey of key into name[0..capacity) with its
    // terminator. OBJ_OK, OBJ_E_INVALIDARG past the last one or for a missing
    // key, or the failure.
    [[nodiscard]] virtual OBJRESULT EnumSubKey(const char16_t* key, uint32_t index, char16_t* name,
                                               uint32_t capacity) = 0;
    // The string value of key into value[0..capacity) with its terminator;
    // *length receives its length without it. OBJ_E_INVALIDARG when missing.
    [[nodiscard]] virtual OBJRESULT ReadString(const char16_t* key, const char16_t* valueName,
                                               char16_t* value, uint32_t capacity,
                                               uint32_t* length) = 0;

protected:
    ~ISettingsStore() = default;
};

}  // namespace pxLib
