// UTF-8 and UTF-16 conversions for portable code, which keeps UTF-16 text in
// std::u16string (wchar_t is 16 bits on Windows but 32 on Linux).
#pragma once

#include <string>
#include <string_view>

namespace pxLib {

// Ill-formed input (lone surrogates, bad UTF-8 sequences) becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// ASCII-only case folding, as the system's name comparisons use it.
char16_t AsciiToLower(char16_t c);
std::u16string AsciiLower(std::u16string_view text);
[[nodiscard]] bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace pxLib

#ifdef _WIN32
namespace pxLib {
// wchar_t and char16_t are both UTF-16 code units on Windows.
inline std::u16string ToU16(std::wstring_view s) {
    return std::u16string(s.begin(), s.end());
}
inline std::wstring ToWide(std::u16string_view s) {
    return std::wstring(s.begin(), s.end());
}
inline const wchar_t* AsWide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
}  // namespace pxLib
#endif
