#include "launch/InstallerOptions.h"

#include "support/cmdline/pxCommandLine.h"
#include "support/text/Utf.h"

namespace qvd::launch {
namespace {
const char16_t* const kOptionWords[] = {u"qn",     u"qb",       u"qr",        u"q",
                                        u"notray", u"noreboot", u"showerrors"};
}

bool StripInstallerOptions(const std::u16string& input, std::u16string& output) {
    pxLib::CCommandLine words;
    if (!words.Parse(input, u"/-")) return false;
    output.clear();
    bool skipNext = false;
    for (const auto& word : words.GetEntries()) {
        bool keep = true;
        if (word.m_bSwitch) {
            for (const char16_t* option : kOptionWords) {
                if (pxLib::EqualsIgnoreAsciiCase(word.m_strName, option)) {
                    keep = false;
                    if (std::u16string_view(option) == u"showerrors") skipNext = true;
                    break;
                }
            }
        } else if (skipNext) {
            keep = false;
            skipNext = false;
        }
        if (!keep) continue;
        if (!output.empty()) output += u' ';
        output += word.m_strText;
    }
    return true;
}

}  // namespace qvd::launch
