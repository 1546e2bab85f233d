#include "Core/PLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

CPLog::CPLog() {
    const char* value = std::getenv("VASTREL_LOG");
    m_echo = value != nullptr && std::strcmp(value, "1") == 0;
}

void CPLog::Write(int level, const char* format, ...) {
    if (!m_echo || format == nullptr) return;
    std::fprintf(stderr, "[%d] ", level);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

CPLog& GetLog() {
    static CPLog log;
    return log;
}
