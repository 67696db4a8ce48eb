// The path normaliser's text rules, portable: quotes, the "\??\" prefix and NT
// device paths. Which drive a device is mapped to is asked through
// IDriveDevices (QueryDosDeviceW in PathNormaliser.cpp, a table in tests).
#pragma once

#include <string>
#include <string_view>

namespace pxLib {

class IDriveDevices {
public:
    virtual ~IDriveDevices() = default;
    // The first target of the drive "X:", or false when it has none.
    [[nodiscard]] virtual bool FirstTarget(char16_t driveLetter, std::u16string& target) = 0;
};

// Turns a quoted, "\??\"-prefixed or "\Device\..." path into a Win32 path.
// False when a device path names a device that no drive letter maps to.
[[nodiscard]] bool ApplyPathTextRules(std::u16string_view input, IDriveDevices& drives,
                                      std::u16string& output);

}  // namespace pxLib
