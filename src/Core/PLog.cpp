#include "Core/PLog.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

CPLog::CPLog() {
    const char* value = std::getenv("VASTREL_LOG");
    if (value != nullptr && std::strcmp(value, "1") == 0) m_sink = stderr;
}

void CPLog::Write(int level, const char* format, ...) {
    if (!m_sink || format == nullptr) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(message.data(), message.size() + 1, format, args);
    va_end(args);
    if (message.empty() || message.back() != '\n') message += '\n';
    std::fprintf(m_sink, "[%d] %s", level, message.c_str());
    std::fflush(m_sink);
}

CPLog& GetLog() {
    static CPLog log;
    return log;
}
