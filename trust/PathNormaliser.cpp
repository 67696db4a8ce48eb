#include "trust/PathNormaliser.h"

#include "support/text/Utf.h"
#include "trust/PathText.h"

#include <windows.h>

#include <vector>

namespace pxLib {
namespace {

constexpr DWORD kDeviceTargetCapacity = 1000;

class DosDevices final : public IDriveDevices {
public:
    bool FirstTarget(char16_t driveLetter, std::u16string& target) override {
        const wchar_t drive[] = {static_cast<wchar_t>(driveLetter), L':', 0};
        wchar_t targets[kDeviceTargetCapacity];
        if (QueryDosDeviceW(drive, targets, kDeviceTargetCapacity) == 0) return false;
        targets[kDeviceTargetCapacity - 1] = 0;
        target = ToU16(targets);  // the first of the list
        return true;
    }
};

// Calls fill(buffer, capacity) once for the size, once for the text.
template <class Fill>
bool SizedCall(Fill fill, std::wstring& out) {
    const DWORD needed = fill(nullptr, 0);
    if (needed == 0) return false;
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD written = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (written == 0 || written > buffer.size()) return false;
    buffer.back() = 0;
    out = buffer.data();
    return true;
}

}  // namespace

bool NormalisePath(const std::u16string& input, std::u16string& output) {
    DosDevices devices;
    std::u16string win32Path;
    if (!ApplyPathTextRules(input, devices, win32Path)) return false;

    const std::wstring path = ToWide(win32Path);
    std::wstring expanded;
    if (!SizedCall(
            [&](wchar_t* buffer, DWORD capacity) {
                return ExpandEnvironmentStringsW(path.c_str(), buffer, capacity);
            },
            expanded))
        expanded = path;

    std::wstring longPath;
    if (SizedCall(
            [&](wchar_t* buffer, DWORD capacity) {
                return GetLongPathNameW(expanded.c_str(), buffer, capacity);
            },
            longPath))
        output = ToU16(longPath);
    else
        output = ToU16(expanded);
    return true;
}

}  // namespace pxLib
