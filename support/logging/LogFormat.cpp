#include "support/logging/LogFormat.h"

namespace pxLib {
namespace {

// Text an argument brings along (often from outside: a job, a file, the
// registry) must not start a line of its own in the log: control characters
// are written as \xNN. Line breaks that end the whole message start nothing
// and stay, for the log's own rule for line ends.
std::u16string EscapeControlCharacters(std::u16string_view s, bool endsMessage) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    size_t keep = s.size();
    if (endsMessage) {
        while (keep > 0 && (s[keep - 1] == u'\r' || s[keep - 1] == u'\n')) --keep;
    }
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < keep; ++i) {
        const char16_t c = s[i];
        if (c < 0x20 || c == 0x7F) {
            out += u"\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += c;
        }
    }
    out += s.substr(keep);
    return out;
}

struct Field {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = -1, precision = -1;
    bool wide64 = false;
    char16_t conv = 0;
};

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Reads a decimal field, bounded so that a huge width cannot exhaust memory.
bool ReadNumber(std::u16string_view fmt, size_t& i, int& value) {
    value = 0;
    while (i < fmt.size() && IsDigit(fmt[i])) {
        value = value * 10 + (fmt[i] - u'0');
        if (value > 4096) return false;
        ++i;
    }
    return true;
}

bool ParseSpec(std::u16string_view fmt, size_t& i, Field& field) {
    for (; i < fmt.size(); ++i) {
        const char16_t c = fmt[i];
        if (c == u'-')
            field.left = true;
        else if (c == u'0')
            field.zero = true;
        else if (c == u'+')
            field.plus = true;
        else if (c == u' ')
            field.space = true;
        else if (c == u'#')
            field.alt = true;
        else
            break;
    }
    if (i < fmt.size() && IsDigit(fmt[i]) && !ReadNumber(fmt, i, field.width)) return false;
    if (i < fmt.size() && fmt[i] == u'.') {
        ++i;
        if (!ReadNumber(fmt, i, field.precision)) return false;
    }
    // Length modifiers: h, hh, l (32 bits on Windows), ll, I64, I32, z, j.
    if (fmt.substr(i, 3) == u"I64") {
        field.wide64 = true, i += 3;
    } else if (fmt.substr(i, 3) == u"I32") {
        i += 3;
    } else if (fmt.substr(i, 2) == u"ll") {
        field.wide64 = true, i += 2;
    } else if (i < fmt.size() && (fmt[i] == u'z' || fmt[i] == u'j')) {
        field.wide64 = true, ++i;
    } else {
        while (i < fmt.size() && (fmt[i] == u'h' || fmt[i] == u'l')) ++i;
    }
    if (i >= fmt.size()) return false;
    field.conv = fmt[i++];
    return true;
}

void Pad(std::u16string& out, std::u16string_view body, const Field& field, char16_t fill) {
    const size_t width = field.width > 0 ? static_cast<size_t>(field.width) : 0;
    const size_t padding = body.size() < width ? width - body.size() : 0;
    if (field.left) {
        out.append(body);
        out.append(padding, u' ');
    } else {
        out.append(padding, fill);
        out.append(body);
    }
}

std::u16string Digits(uint64_t value, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string d;
    do {
        d.insert(d.begin(), static_cast<char16_t>(set[value % base]));
        value /= base;
    } while (value != 0);
    return d;
}

void FormatInteger(std::u16string& out, const Field& field, int64_t raw, bool isSigned) {
    std::u16string sign, prefix, digits;
    uint64_t magnitude;
    if (isSigned) {
        const int64_t v = field.wide64 ? raw : static_cast<int32_t>(raw);
        magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        if (v < 0)
            sign = u"-";
        else if (field.plus)
            sign = u"+";
        else if (field.space)
            sign = u" ";
    } else {
        magnitude = field.wide64 ? static_cast<uint64_t>(raw) : static_cast<uint32_t>(raw);
    }
    switch (field.conv) {
        case u'x':
            digits = Digits(magnitude, 16, false);
            break;
        case u'X':
            digits = Digits(magnitude, 16, true);
            break;
        case u'o':
            digits = Digits(magnitude, 8, false);
            break;
        default:
            digits = Digits(magnitude, 10, false);
            break;
    }
    if (field.alt && magnitude != 0 && (field.conv == u'x' || field.conv == u'X'))
        prefix = field.conv == u'x' ? u"0x" : u"0X";
    if (field.precision >= 0) {
        if (field.precision == 0 && magnitude == 0) digits.clear();
        while (digits.size() < static_cast<size_t>(field.precision)) digits.insert(0, u"0");
    }
    std::u16string head = sign + prefix;
    if (field.zero && !field.left && field.precision < 0) {
        const size_t width = field.width > 0 ? static_cast<size_t>(field.width) : 0;
        while (head.size() + digits.size() < width) digits.insert(0, u"0");
    }
    Pad(out, head + digits, field, u' ');
}

}  // namespace

bool FormatLogText(std::u16string& out, std::u16string_view fmt, const LogArg* args, size_t count) {
    std::u16string text;
    size_t next = 0;
    for (size_t i = 0; i < fmt.size();) {
        const char16_t c = fmt[i++];
        if (c != u'%') {
            text.push_back(c);
            continue;
        }
        if (i < fmt.size() && fmt[i] == u'%') {
            text.push_back(u'%');
            ++i;
            continue;
        }
        if (i < fmt.size() && fmt[i] == u'!') {
            // Trace-style %!WINERROR! (decimal) and %!HRESULT! (0x%08X) placeholders.
            const size_t end = fmt.find(u'!', i + 1);
            if (end == std::u16string_view::npos || next >= count) return false;
            const std::u16string_view name = fmt.substr(i + 1, end - i - 1);
            const LogArg& arg = args[next++];
            if (arg.kind() != LogArg::Kind::Signed && arg.kind() != LogArg::Kind::Unsigned)
                return false;
            Field field;
            if (name == u"WINERROR") {
                field.conv = u'u';
            } else if (name == u"HRESULT") {
                field.conv = u'X', field.zero = true, field.width = 8;
                text += u"0x";
            } else {
                return false;
            }
            FormatInteger(text, field, arg.integer(), false);
            i = end + 1;
            continue;
        }
        Field field;
        if (!ParseSpec(fmt, i, field) || next >= count) return false;
        const LogArg& arg = args[next++];
        switch (field.conv) {
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
            case u'o':
                if (arg.kind() != LogArg::Kind::Signed && arg.kind() != LogArg::Kind::Unsigned)
                    return false;
                FormatInteger(text, field, arg.integer(), field.conv == u'd' || field.conv == u'i');
                break;
            case u'c': {
                if (arg.kind() != LogArg::Kind::Signed && arg.kind() != LogArg::Kind::Unsigned)
                    return false;
                const char16_t ch = static_cast<char16_t>(arg.integer());
                Pad(text, std::u16string_view(&ch, 1), field, u' ');
                break;
            }
            case u's':
            case u'S': {
                if (arg.kind() != LogArg::Kind::String) return false;
                std::u16string_view s = arg.isNullString() ? u"(null)" : arg.text();
                if (field.precision >= 0 && s.size() > static_cast<size_t>(field.precision))
                    s = s.substr(0, field.precision);
                Pad(text, EscapeControlCharacters(s, i == fmt.size()), field, u' ');
                break;
            }
            case u'p': {
                if (arg.kind() != LogArg::Kind::Pointer) return false;
                Field hex = field;
                hex.conv = u'X', hex.wide64 = true, hex.zero = true, hex.width = 16;
                FormatInteger(text, hex, arg.integer(), false);
                break;
            }
            default:
                return false;
        }
    }
    // Like printf, arguments beyond those the format uses are ignored.
    out += text;
    return true;
}

}  // namespace pxLib
