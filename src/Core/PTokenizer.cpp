#include "Core/PTokenizer.h"

#include "Core/PUtils.h"

CPTokenizer::CPTokenizer(const std::string& text, const std::string& delimiter, bool quotes)
    : m_text(text), m_delimiter(delimiter), m_quotes(quotes) {
    Trim(m_text);
}

bool CPTokenizer::NextToken(std::string& token) {
    token.clear();
    const int length = static_cast<int>(m_text.size());
    if (m_position >= length) return false;

    bool inQuotes = false;
    bool complete = false;
    size_t match = 0; // delimiter characters matched so far
    std::string pending;
    while (m_position < length) {
        const char c = m_text[m_position++];
        if (m_quotes && c == '"') {
            if (!inQuotes) {
                inQuotes = true;
            } else if (m_position < length && m_text[m_position] == '"') {
                token += '"';
                ++m_position;
            } else {
                inQuotes = false;
            }
            continue;
        }
        if (inQuotes) {
            token += c;
            continue;
        }
        if (match < m_delimiter.size() && c == m_delimiter[match]) {
            if (++match == m_delimiter.size()) {
                complete = true;
                break;
            }
            pending += c;
        } else {
            // No backtracking: the mismatching character is not retried as a delimiter start.
            token += pending;
            pending.clear();
            match = 0;
            token += c;
        }
    }
    if (!complete) token += pending;

    if (token != " ") Trim(token);
    return true;
}
