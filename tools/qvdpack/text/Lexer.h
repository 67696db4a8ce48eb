// The collection text form's lines and words: blank and comment lines are
// skipped, and a line's words are bounded before they are kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qvdpack::text {

struct Token {
    bool quoted = false;
    std::string text;  // a quoted token keeps its escapes; they depend on the type
};

struct Line {
    size_t number = 0;
    std::vector<Token> tokens;
};

// --- Lexer ---

// No statement needs more words than this; a longer line is refused.
constexpr size_t kMaxTokensPerLine = 16;

// Hands out the text's lines one at a time, skipping blank and comment lines,
// so that memory grows with the collection and not with the text's words.
class Lexer {
public:
    explicit Lexer(std::string_view text) : m_text(text) {}

    // False at the end of the text or on an error (then failed is set).
    [[nodiscard]] bool Next(Line& line, TextError& error, bool& failed) {
        failed = false;
        while (m_pos <= m_text.size() && !m_done) {
            size_t end = m_text.find('\n', m_pos);
            if (end == std::string_view::npos) end = m_text.size();
            std::string_view raw = m_text.substr(m_pos, end - m_pos);
            ++m_number;
            m_pos = end + 1;
            if (end == m_text.size()) m_done = true;
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            line.number = m_number;
            line.tokens.clear();
            if (!Split(raw, line, error)) {
                failed = true;
                return false;
            }
            if (!line.tokens.empty()) return true;
        }
        return false;
    }

private:
    [[nodiscard]] bool Split(std::string_view raw, Line& line, TextError& error) {
        size_t i = 0;
        while (i < raw.size()) {
            const char c = raw[i];
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            if (c == '#') break;
            if (line.tokens.size() == kMaxTokensPerLine) {
                error = {line.number, "too many words on one line"};
                return false;
            }
            Token token;
            if (c == '"') {
                token.quoted = true;
                size_t j = i + 1;
                bool closed = false;
                while (j < raw.size()) {
                    if (raw[j] == '\\') {
                        if (j + 1 >= raw.size()) break;
                        j += 2;
                        continue;
                    }
                    if (raw[j] == '"') {
                        closed = true;
                        break;
                    }
                    ++j;
                }
                if (!closed) {
                    error = {line.number, "unterminated string"};
                    return false;
                }
                token.text.assign(raw.substr(i + 1, j - i - 1));
                i = j + 1;
            } else {
                size_t j = i;
                while (j < raw.size() && raw[j] != ' ' && raw[j] != '\t' && raw[j] != '"' &&
                       raw[j] != '#')
                    ++j;
                token.text.assign(raw.substr(i, j - i));
                i = j;
            }
            line.tokens.push_back(std::move(token));
        }
        return true;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_number = 0;
    bool m_done = false;
};

}  // namespace qvdpack::text
