#include "support/logging/ExceptionRecord.h"

#include "support/logging/AtlException.h"
#include "support/logging/LogFormat.h"
#include "support/logging/Trace.h"
#include "support/text/Utf.h"

#include <exception>
#include <new>
#include <typeinfo>

#ifdef _WIN32
#include <comdef.h>
#endif

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xca6e4776, 0x904a, 0x4902, {0xb8, 0x34, 0x0e, 0x57, 0xb3, 0xe8, 0xa9, 0x44}}};
enum class TraceEvent : uint16_t { ExceptionCaught = 1 };

std::u16string Formatted(const char16_t* format, const LogArg& arg) {
    std::u16string text;
    return FormatLogText(text, format, &arg, 1) ? text : std::u16string();
}

std::u16string FromNarrow(const char* text) {
    return text ? Utf8ToUtf16(text) : std::u16string();
}

std::u16string FromWide(const wchar_t* text) {
    std::u16string out;
    if (!text) return out;
#ifdef _WIN32
    out = reinterpret_cast<const char16_t*>(text);
#else
    // wchar_t holds whole code points here.
    for (; *text; ++text) {
        const auto c = static_cast<char32_t>(*text);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(c > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(c));
        }
    }
#endif
    return out;
}

// Rethrows the exception being handled and names it, most derived types first.
// Kind and type name are set before the message is built, so a failure while
// building it (out of memory) still leaves them.
void Classify(ExceptionKind& kind, const char16_t*& typeName, std::u16string& message) {
    const auto set = [&](ExceptionKind k, const char16_t* name) { kind = k, typeName = name; };
    try {
        throw;
    } catch (const std::bad_alloc& e) {
        set(ExceptionKind::BadAlloc, u"std::bad_alloc");
        message = FromNarrow(e.what());
    } catch (const std::bad_cast& e) {
        set(ExceptionKind::BadCast, u"std::bad_cast");
        message = FromNarrow(e.what());
    } catch (const std::bad_typeid& e) {
        set(ExceptionKind::BadTypeid, u"std::bad_typeid");
        message = FromNarrow(e.what());
    } catch (const std::bad_exception& e) {
        set(ExceptionKind::BadException, u"std::bad_exception");
        message = FromNarrow(e.what());
    } catch (const std::exception& e) {
        set(ExceptionKind::StdException, u"std::exception");
        message = FromNarrow(e.what());
#ifdef _WIN32
    } catch (const _com_error& e) {
        set(ExceptionKind::ComError, u"_com_error");
        message = FromWide(e.ErrorMessage());
#endif
    } catch (const CAtlException& e) {
        set(ExceptionKind::AtlException, u"CAtlException");
        message = Formatted(u"0x%08X", static_cast<uint32_t>(e.m_hr));
    } catch (char c) {
        set(ExceptionKind::Char, u"char");
        message = Formatted(u"%c", static_cast<unsigned char>(c));
    } catch (unsigned char c) {
        set(ExceptionKind::UnsignedChar, u"unsigned char");
        message = Formatted(u"%u", c);
    } catch (short v) {
        set(ExceptionKind::Short, u"short");
        message = Formatted(u"%d", v);
    } catch (unsigned short v) {
        set(ExceptionKind::UnsignedShort, u"unsigned short");
        message = Formatted(u"%u", v);
    } catch (int v) {
        set(ExceptionKind::Int, u"int");
        message = Formatted(u"%d", v);
    } catch (unsigned int v) {
        set(ExceptionKind::UnsignedInt, u"unsigned int");
        message = Formatted(u"%u", v);
    } catch (long v) {
        set(ExceptionKind::Long, u"long");
        message = Formatted(sizeof(long) == 4 ? u"%ld" : u"%lld", v);
    } catch (unsigned long v) {
        set(ExceptionKind::UnsignedLong, u"unsigned long");
        message = Formatted(sizeof(long) == 4 ? u"%lu" : u"%llu", v);
    } catch (const char* text) {
        set(ExceptionKind::NarrowString, u"LPCSTR");
        message = FromNarrow(text);
    } catch (const wchar_t* text) {
        set(ExceptionKind::WideString, u"LPCWSTR");
        message = FromWide(text);
    } catch (const char16_t* text) {
        set(ExceptionKind::WideString, u"LPCWSTR");
        if (text) message = text;
    } catch (...) {
        set(ExceptionKind::Unknown, u"unknown");
    }
}

}  // namespace

bool ExceptionRecord::Capture(const char16_t* sourceName, uint32_t line) noexcept {
    if (!std::current_exception()) return false;
    ExceptionKind kind = ExceptionKind::Unknown;
    const char16_t* typeName = u"unknown";
    std::u16string message;
    try {
        Classify(kind, typeName, message);
    } catch (...) {
        message.clear();  // the record keeps an empty message
    }
    m_kind = static_cast<uint32_t>(kind);
    m_line = line;
    m_message.swap(message);
    try {
        m_typeName = typeName;
        m_sourceName = sourceName ? sourceName : u"";
    } catch (...) {
    }
    if (TraceEnabled(TraceLevel::Error)) {
        try {
            ReportException(m_typeName, m_message);
        } catch (...) {
        }
    }
    return true;
}

void ReportException(const std::u16string& typeName, const std::u16string& message) {
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::ExceptionCaught, typeName, message);
}

}  // namespace pxLib
