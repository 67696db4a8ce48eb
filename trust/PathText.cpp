#include "trust/PathText.h"

#include "support/logging/Trace.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x2E7D95A4, 0x61C3, 0x4B0F, {0x9D, 0x58, 0x17, 0xA2, 0x4E, 0x6B, 0xC0, 0x33}}};
enum class TraceEvent : uint16_t { NoDriveForDevice = 1 };

constexpr std::u16string_view kDosDevicesPrefix = u"\\??\\";
constexpr std::u16string_view kUncDosDevicesPrefix = u"\\??\\UNC\\";
constexpr std::u16string_view kDevicePrefix = u"\\Device\\";
constexpr std::u16string_view kMupDevice = u"\\Device\\Mup";
constexpr std::u16string_view kRedirectorDevice = u"\\Device\\LanmanRedirector";

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::u16string_view WithoutQuotes(std::u16string_view path) {
    const size_t first = path.find_first_not_of(u'"');
    if (first == std::u16string_view::npos) return {};
    const size_t last = path.find_last_not_of(u'"');
    return path.substr(first, last - first + 1);
}

bool MapDevicePath(std::u16string_view path, IDriveDevices& drives, std::u16string& output) {
    const size_t componentEnd = path.find(u'\\', kDevicePrefix.size());
    const std::u16string_view device = path.substr(0, componentEnd);
    const std::u16string_view rest = componentEnd == std::u16string_view::npos
                                         ? std::u16string_view()
                                         : path.substr(componentEnd);
    if (EqualsIgnoreAsciiCase(device, kMupDevice) ||
        EqualsIgnoreAsciiCase(device, kRedirectorDevice)) {
        // \Device\Mup\server\share\f.exe is \\server\share\f.exe.
        output = u"\\";
        output.append(rest);
        if (rest.empty()) output.push_back(u'\\');
        return true;
    }
    std::u16string target;
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        if (drives.FirstTarget(letter, target) && EqualsIgnoreAsciiCase(target, device)) {
            output.assign({letter, u':'});
            output.append(rest);
            return true;
        }
    }
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoDriveForDevice, std::u16string(device));
    return false;
}

}  // namespace

bool ApplyPathTextRules(std::u16string_view input, IDriveDevices& drives, std::u16string& output) {
    const std::u16string_view path = WithoutQuotes(input);
    if (StartsWith(path, kUncDosDevicesPrefix)) {
        // The UNC form keeps its meaning: \??\UNC\server\share is \\server\share.
        output = u"\\\\";
        output.append(path.substr(kUncDosDevicesPrefix.size()));
        return true;
    }
    if (StartsWith(path, kDosDevicesPrefix)) {
        const size_t start = path.find_first_not_of(u"\\?");
        output.assign(start == std::u16string_view::npos ? std::u16string_view()
                                                         : path.substr(start));
        return true;
    }
    if (StartsWith(path, kDevicePrefix)) return MapDevicePath(path, drives, output);
    output.assign(path);
    return true;
}

}  // namespace pxLib
