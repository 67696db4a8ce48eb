// printf-style formatting of UTF-16 text with type-checked arguments, the same
// on Windows and Linux. Integers follow the Windows data model: without a
// length modifier, or with h or l, %d %u %x take 32 bits; ll and I64 take 64.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace pxLib {

class LogArg {
public:
    enum class Kind : uint8_t { Signed, Unsigned, String, Pointer };

    template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    LogArg(T v) : m_kind(Kind::Signed), m_int(static_cast<int64_t>(v)) {}
    template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_signed_v<T>, int> = 0>
    LogArg(T v) : m_kind(Kind::Unsigned), m_int(static_cast<int64_t>(static_cast<uint64_t>(v))) {}
    LogArg(const char16_t* s) : m_kind(Kind::String), m_isNull(s == nullptr) {
        if (s) m_text = s;
    }
    LogArg(std::u16string_view s) : m_kind(Kind::String), m_text(s) {}
    LogArg(const std::u16string& s) : m_kind(Kind::String), m_text(s) {}
#ifdef _WIN32
    LogArg(const wchar_t* s) : m_kind(Kind::String), m_isNull(s == nullptr) {
        if (s) m_text = std::u16string_view(reinterpret_cast<const char16_t*>(s));
    }
    LogArg(const std::wstring& s)
        : m_kind(Kind::String), m_text(reinterpret_cast<const char16_t*>(s.data()), s.size()) {}
#endif
    LogArg(const void* p)
        : m_kind(Kind::Pointer), m_int(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p))) {}

    Kind kind() const {
        return m_kind;
    }
    int64_t integer() const {
        return m_int;
    }
    std::u16string_view text() const {
        return m_text;
    }
    [[nodiscard]] bool isNullString() const {
        return m_isNull;
    }

private:
    Kind m_kind;
    int64_t m_int = 0;
    std::u16string_view m_text;
    bool m_isNull = false;
};

// Appends fmt formatted with args to out. Returns false, leaving out as it was,
// when the format is malformed or an argument is missing or of the wrong kind.
// Besides the printf conversions it knows %!WINERROR! and %!HRESULT!.
[[nodiscard]] bool FormatLogText(std::u16string& out, std::u16string_view fmt, const LogArg* args,
                                 size_t count);

}  // namespace pxLib
