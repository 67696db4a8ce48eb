// Command lines from outside (the host's own, RunOnce values, installer
// arguments): split with the switch characters the plug-in uses, then every
// query. Checks what must hold for any line that parses.
#include "support/cmdline/pxCommandLine.h"
#include "support/text/Utf.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

// The input is UTF-16LE, so that any code unit, NUL and lone surrogates
// included, reaches the splitter.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }

    pxLib::CCommandLine line;
    const bool parsed = line.Parse(std::u16string_view(text), u"/-");
    const auto& entries = line.GetEntries();
    if (!parsed) {
        Check(entries.empty());
        return 0;
    }

    size_t searchFrom = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        // Each word stands in the input, in order, and holds no blank unless quoted.
        Check(!entry.m_strText.empty());
        const size_t at = text.find(entry.m_strText, searchFrom);
        Check(at != std::u16string::npos);
        searchFrom = at + entry.m_strText.size();
        const bool quoted = entry.m_strText.front() == u'"';
        Check(quoted || entry.m_strText.find(u' ') == std::u16string::npos);
        if (entry.m_bSwitch) {
            Check(entry.m_strText.size() >= 2 && entry.m_strName == entry.m_strText.substr(1));
            Check(line.HasSwitch(entry.m_strName));
            Check(line.HasSwitch(pxLib::AsciiLower(entry.m_strName)));
            std::vector<std::u16string> values;
            const bool hasValue = line.GetSwitchValues(entry.m_strName, values);
            const bool next = i + 1 < entries.size() && !entries[i + 1].m_bSwitch;
            if (hasValue) Check(!values.empty() && next);
            if (!next) Check(!hasValue);
        } else if (quoted) {
            Check(entry.m_strText.back() == u'"' && entry.m_strText.size() >= 2);
            Check(entry.m_strText.find(entry.m_strName) != std::u16string::npos);
        } else {
            Check(entry.m_strName == entry.m_strText);
        }
    }
    // Nothing but blanks after the last word.
    Check(text.find_first_not_of(u' ', searchFrom) == std::u16string::npos);
    return 0;
}
