#include "support/cmdline/pxCommandLine.h"

#include "support/logging/Trace.h"
#include "support/text/Utf.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x0e5a8258, 0x32fc, 0x4306, {0x8c, 0x80, 0x6e, 0xb3, 0x82, 0x7a, 0x76, 0xb7}}};
enum class TraceEvent : uint16_t {
    EmptyArgument = 1,
    SplitOutOfMemory = 2,
    UnclosedQuote = 3,
    LoneSwitchCharacter = 4,
    SwitchWithoutValue = 5,
    ValuesOutOfMemory = 6,
};

constexpr char16_t kBlank = u' ';
constexpr char16_t kQuote = u'"';

std::u16string TrimQuotes(std::u16string_view word) {
    const size_t first = word.find_first_not_of(kQuote);
    if (first == std::u16string_view::npos) return {};
    return std::u16string(word.substr(first, word.find_last_not_of(kQuote) + 1 - first));
}

}  // namespace

bool CCommandLine::Parse(const char16_t* pszText, const char16_t* pszSwitchChars) {
    return Parse(pszText ? std::u16string_view(pszText) : std::u16string_view(),
                 pszSwitchChars ? std::u16string_view(pszSwitchChars) : std::u16string_view());
}

bool CCommandLine::Parse(std::u16string_view text, std::u16string_view switchChars) {
    m_entries.clear();
    if (text.empty() || switchChars.empty()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::EmptyArgument,
              static_cast<uint32_t>(text.size()), static_cast<uint32_t>(switchChars.size()));
        return false;
    }
    try {
        if (Split(text, switchChars)) return true;
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SplitOutOfMemory,
              static_cast<uint32_t>(text.size()));
    }
    // Callers take a failed line as one without words; leave them none to misread.
    m_entries.clear();
    return false;
}

// Failures trace the offset of the word, not the text: a command line can carry tokens.
bool CCommandLine::Split(std::u16string_view text, std::u16string_view switchChars) {
    size_t pos = 0;
    while ((pos = text.find_first_not_of(kBlank, pos)) != std::u16string_view::npos) {
        size_t end = text.find(kBlank, pos);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view word = text.substr(pos, end - pos);
        size_t next = end;

        const bool quoted = word.front() == kQuote;
        if (quoted && (word.size() == 1 || word.back() != kQuote)) {
            // The quoted word runs on, blanks and all, to the next quote.
            const size_t close =
                end < text.size() ? text.find(kQuote, end + 1) : std::u16string_view::npos;
            if (close == std::u16string_view::npos) {
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::UnclosedQuote,
                      static_cast<uint32_t>(pos));
                return false;
            }
            word = text.substr(pos, close + 1 - pos);
            next = close + 1;
        }

        Entry entry;
        entry.m_strText = std::u16string(word);
        if (quoted) {
            entry.m_strName = TrimQuotes(word);
        } else if (switchChars.find(word.front()) != std::u16string_view::npos) {
            if (word.size() == 1) {
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::LoneSwitchCharacter,
                      static_cast<uint32_t>(pos));
                return false;
            }
            entry.m_bSwitch = true;
            entry.m_strName = std::u16string(word.substr(1));
        } else {
            entry.m_strName = entry.m_strText;
        }
        m_entries.push_back(std::move(entry));
        pos = next;
    }
    return true;
}

bool CCommandLine::HasSwitch(std::u16string_view name) const {
    if (name.empty()) return false;
    for (const Entry& entry : m_entries) {
        if (entry.m_bSwitch && EqualsIgnoreAsciiCase(entry.m_strName, name)) return true;
    }
    return false;
}

bool CCommandLine::GetSwitchValues(std::u16string_view name,
                                   std::vector<std::u16string>& values) const {
    bool found = false;
    try {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const Entry& entry = m_entries[i];
            if (!entry.m_bSwitch || !EqualsIgnoreAsciiCase(entry.m_strName, name)) continue;
            if (i + 1 == m_entries.size() || m_entries[i + 1].m_bSwitch) {
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::SwitchWithoutValue,
                      entry.m_strName);
                return false;
            }
            values.push_back(m_entries[i + 1].m_strName);
            found = true;
        }
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ValuesOutOfMemory,
              static_cast<uint32_t>(values.size()));
        return false;
    }
    return found;
}

}  // namespace pxLib
