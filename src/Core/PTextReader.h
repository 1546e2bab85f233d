#pragma once

#include <string>

// Cuts a text buffer into lines for the data-file loaders: drops every line holding "//", every
// line from one holding "/*" through the one holding "*/", trims blanks, skips empty lines and
// recognises "[section]" headers. The buffer is not owned and must outlive the reader.
class CPTextReader {
public:
    CPTextReader(const void* buffer, int size);
    virtual ~CPTextReader() = default;

    // Makes the next non-empty line current; false at the end of the buffer.
    bool ReadLine();
    // ReadLine, then copies the current line (empty when nothing is left).
    bool GetLine(std::string& line);
    // 0 when the last line was a section header (given without its brackets), 1 otherwise.
    int GetLineType() const { return m_lineType; }
    // Line feeds passed so far.
    int GetLineCount() const { return m_lineCount; }

private:
    const char* m_buffer;
    int m_size;
    int m_position = 0;
    std::string m_line;
    int m_lineCount = 0;
    bool m_inComment = false;
    int m_lineType = 1;
};
