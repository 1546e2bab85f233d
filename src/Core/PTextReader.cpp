#include "Core/PTextReader.h"

#include "Core/PUtils.h"

CPTextReader::CPTextReader(const void* buffer, int size)
    : m_buffer(static_cast<const char*>(buffer)), m_size(buffer != nullptr && size > 0 ? size : 0) {}

bool CPTextReader::ReadLine() {
    do {
        m_line.clear();
        while (m_position < m_size) {
            const char c = m_buffer[m_position++];
            if (c == '\0') break;
            if (c == '\n') {
                ++m_lineCount;
                break;
            }
            m_line += c;
        }
        // Comment markers drop the whole line, including any text before them.
        if (m_line.find("//") != std::string::npos) m_line.clear();
        if (m_line.find("/*") != std::string::npos) m_inComment = true;
        if (m_line.find("*/") != std::string::npos) {
            m_inComment = false;
            m_line.clear();
        }
        if (m_inComment) m_line.clear();
        Trim(m_line);
    } while (m_line.empty() && m_position < m_size);

    if (m_line.size() >= 2 && m_line.front() == '[' && m_line.back() == ']') {
        m_line = m_line.substr(1, m_line.size() - 2);
        m_lineType = 0;
    } else {
        m_lineType = 1;
    }
    return !m_line.empty();
}

bool CPTextReader::GetLine(std::string& line) {
    const bool found = ReadLine();
    line = m_line;
    return found;
}
