// The exception record of one guarded operation. A catch site calls Capture
// inside its handler: the record classifies the exception being handled,
// keeps its kind, source, line, type name and message, and reports it on the
// trace channel at error level. Caught() afterwards tells the code after the
// guarded block whether an exception occurred.
//
//     pxLib::ExceptionRecord record;
//     try { ... } catch (...) { record.Capture(u"FileCache", __LINE__); }
//     if (record.Caught()) return false;
//
// Sites that guard only against allocation failures and CAtlException catch
// those two types and call Capture the same way.
#pragma once

#include <cstdint>
#include <string>

namespace pxLib {

enum class ExceptionKind : uint32_t {
    None = 0,
    StdException = 15,
    BadException = 16,
    BadCast = 17,
    BadTypeid = 18,
    BadAlloc = 19,
    ComError = 20,
    AtlException = 21,
    Char = 22,
    UnsignedChar = 23,
    Short = 24,
    UnsignedShort = 25,
    Int = 26,
    UnsignedInt = 27,
    Long = 28,
    UnsignedLong = 29,
    NarrowString = 30,
    WideString = 31,
    // Any other thrown type. Without it such an exception would either leave
    // the record at 0 (a failure taken for success) or escape an interface.
    Unknown = 32,
};

class ExceptionRecord {
public:
    // Call only inside a catch handler. Returns false (record untouched) when
    // no exception is being handled, which a catch site cannot see, so its
    // result may go unread.
    bool Capture(const char16_t* sourceName, uint32_t line) noexcept;

    [[nodiscard]] bool Caught() const { return m_kind != 0; }
    uint32_t Kind() const { return m_kind; }
    const std::u16string& SourceName() const { return m_sourceName; }
    uint32_t Line() const { return m_line; }
    const std::u16string& TypeName() const { return m_typeName; }
    const std::u16string& Message() const { return m_message; }

private:
    uint32_t m_kind = 0;
    std::u16string m_sourceName;
    uint32_t m_line = 0;
    std::u16string m_typeName;
    std::u16string m_message;
};

// Emits the error-level exception event with the two strings.
void ReportException(const std::u16string& typeName, const std::u16string& message);

}  // namespace pxLib
