// A DLL with its own copy of the isolation settings: each copy a test loads
// from some folder starts with fresh settings and finds "isolate.ini" from
// there, as the product's DLL does. It runs the commands it is given, one a
// line, and reports one line per command:
//   init:SILO ("init:" passes no silo), root, setview:HEX, select:SILO,
//   view, silo, isoroot, product.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/isolation/IsolationSettings.h"
#include "support/text/Utf.h"

namespace {

using pxLib::IsolationSettings;

std::string Flag(bool value) {
    return value ? "1" : "0";
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

std::string Run(const std::string& verb, const std::u16string& argument) {
    if (verb == "init")
        return Flag(IsolationSettings::Initialise(argument.empty() ? nullptr : argument.c_str()));
    if (verb == "root") return Flag(IsolationSettings::ProductRoot());
    if (verb == "setview")
        return Flag(IsolationSettings::SetRegistryView(
            static_cast<uint32_t>(std::stoul(pxLib::Utf16ToUtf8(argument), nullptr, 16))));
    if (verb == "select") {
        pxLib::SelectProductRegistryView(argument);
        return Hex(IsolationSettings::RegistryView());
    }
    if (verb == "view") return Hex(IsolationSettings::RegistryView());
    if (verb == "silo") return pxLib::Utf16ToUtf8(IsolationSettings::Silo());
    if (verb == "isoroot") return pxLib::Utf16ToUtf8(IsolationSettings::IsolationRoot());
    if (verb == "product") return pxLib::Utf16ToUtf8(IsolationSettings::ProductRegistryRoot());
    return "unknown command";
}

}  // namespace

// Writes the report (UTF-8, cut to capacity) and returns its full length.
extern "C" __declspec(dllexport) size_t
    RunIsolationProbe(const wchar_t* commands, char* report, size_t capacity) {
    const std::u16string text = pxLib::ToU16(commands);
    std::string results;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string command = text.substr(start, end - start);
        const size_t colon = command.find(u':');
        const std::string verb = pxLib::Utf16ToUtf8(command.substr(0, colon));
        const std::u16string argument =
            colon == std::u16string::npos ? std::u16string() : command.substr(colon + 1);
        results += verb + "=" + Run(verb, argument) + "\n";
        start = end + 1;
    }
    std::memcpy(report, results.data(), results.size() < capacity ? results.size() : capacity);
    return results.size();
}
