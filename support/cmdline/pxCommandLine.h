// The shared library's command-line object: one line of text split at blanks
// into an ordered list of switches and plain words, with switch lookup by name.
// Failures are a false result plus an error-level trace event; nothing throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pxLib {

class CCommandLine {
public:
    struct Entry {
        bool m_bSwitch = false;
        // Switch: the word without its switch character. Quoted word: the word
        // without its enclosing double quotes. Otherwise the word itself.
        std::u16string m_strName;
        // The word exactly as it stood in the input.
        std::u16string m_strText;
    };

    // Replaces the entries with the words of pszText; a word that begins with
    // one of pszSwitchChars is a switch. Fails on null or empty text, an empty
    // switch-character string, a quote that is never closed and a lone switch
    // character. A failed parse leaves no entries.
    [[nodiscard]] bool Parse(const char16_t* pszText, const char16_t* pszSwitchChars);
    [[nodiscard]] bool Parse(std::u16string_view text, std::u16string_view switchChars);
#ifdef _WIN32
    [[nodiscard]] bool Parse(const wchar_t* pszText, const wchar_t* pszSwitchChars) {
        return Parse(reinterpret_cast<const char16_t*>(pszText),
                     reinterpret_cast<const char16_t*>(pszSwitchChars));
    }
    // Parse of this process's own command line, with "/-".
    [[nodiscard]] bool ParseProcessCommandLine();
#endif

    // True when some entry is a switch of that name, ASCII case ignored.
    [[nodiscard]] bool HasSwitch(std::u16string_view name) const;

    // Appends to values the name of the plain word that follows each switch of
    // that name (ASCII case ignored). False when there is no such switch, or
    // when one of them is the last entry or is followed by another switch.
    [[nodiscard]] bool GetSwitchValues(std::u16string_view name,
                                       std::vector<std::u16string>& values) const;

    const std::vector<Entry>& GetEntries() const {
        return m_entries;
    }

private:
    [[nodiscard]] bool Split(std::u16string_view text, std::u16string_view switchChars);

    std::vector<Entry> m_entries;
};

}  // namespace pxLib
