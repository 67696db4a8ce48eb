#include "support/isolation/IniText.h"

#include "support/text/Utf.h"

namespace pxLib {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::u16string_view Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The name of a "[name]" line; a header without its closing bracket names
// everything after the opening one.
std::u16string_view SectionName(std::u16string_view line) {
    line.remove_prefix(1);
    const size_t close = line.rfind(u']');
    if (close != std::u16string_view::npos) line = line.substr(0, close);
    return Trim(line);
}

}  // namespace

std::u16string DecodeIniText(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        const size_t units = (bytes.size() - 2) / 2;
        std::u16string text(units, u'\0');
        for (size_t i = 0; i < units; ++i) {
            const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
            const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
            text[i] = static_cast<char16_t>(low | (high << 8));
        }
        return text;
    }
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    return Utf8ToUtf16(bytes);
}

std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key) {
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find_first_of(u"\r\n");
        const std::u16string_view line =
            Trim(text.substr(0, end == std::u16string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            inSection = EqualsIgnoreAsciiCase(SectionName(line), section);
            continue;
        }
        if (!inSection) continue;
        const size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos) continue;
        if (!EqualsIgnoreAsciiCase(Trim(line.substr(0, equals)), key)) continue;
        return std::u16string(Unquote(Trim(line.substr(equals + 1))));
    }
    return std::nullopt;
}

}  // namespace pxLib
