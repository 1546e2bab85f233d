#pragma once

#include <string>

// Splits one text at a delimiter of one or more characters; optionally double quotes group
// characters (a delimiter inside quotes does not split, "" inside quotes gives one quote).
class CPTokenizer {
public:
    CPTokenizer(const std::string& text, const std::string& delimiter, bool quotes = false);
    virtual ~CPTokenizer() = default;

    // The next token, trimmed (a token of exactly one space is kept as it is); false with an empty
    // token when the text is empty or fully read.
    bool NextToken(std::string& token);

private:
    std::string m_text;
    std::string m_delimiter;
    int m_position = 0;
    bool m_quotes;
};
