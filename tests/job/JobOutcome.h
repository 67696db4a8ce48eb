// Renders what a job accessor did as one line of text, so that tables of job
// texts can name a result and a raised jsoncpp error side by side.
#pragma once

#include "job/JobDescription.h"
#include "support/text/Utf.h"

#include <string>

namespace qvdtest {

inline Json::Value JobFromUtf8(const std::string& text) {
    return qvd::job::ParseJobText(pxLib::Utf8ToUtf16(text));
}

inline std::string Text(const std::u16string& text) {
    return pxLib::Utf16ToUtf8(text);
}

// "=<text>" for a present value, "absent" when the reader found nothing.
inline std::string Present(bool present, const std::u16string& value) {
    return present ? "=" + Text(value) : "absent";
}

// The reader's rendering, or the kind and message of the error it raised.
template <class Read>
std::string Outcome(Read&& read) {
    try {
        return read();
    } catch (const Json::LogicError& e) {
        return std::string("LogicError: ") + e.what();
    } catch (const Json::RuntimeError& e) {
        return std::string("RuntimeError: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
}

// jsoncpp's messages for the wrong kind of value.
inline constexpr const char* kNotAnObject =
    "LogicError: in Json::Value::find(begin, end): requires objectValue or nullValue";
inline constexpr const char* kNotText = "LogicError: Type is not convertible to string";
inline constexpr const char* kNotString =
    "LogicError: in Json::Value::asCString(): requires stringValue";
inline constexpr const char* kNotUnsigned = "LogicError: Value is not convertible to UInt.";
inline constexpr const char* kNotBool = "LogicError: Value is not convertible to bool.";

}  // namespace qvdtest
