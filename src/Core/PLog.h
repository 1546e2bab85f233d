#pragma once
#include <cstdio>

// The process log. Writing is a no-op in normal runs; with VASTREL_LOG=1 in the environment at
// start the messages go to stderr, as a debugging aid that changes no behaviour. Every message
// kept ends its line, whether or not its format did.
class CPLog {
public:
    CPLog();
    virtual ~CPLog() = default;

    void Write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool IsOpen() const { return true; }

    // Where kept messages go; null discards them.
    void SetSink(FILE* sink) { m_sink = sink; }
    FILE* GetSink() const { return m_sink; }

private:
    FILE* m_sink = nullptr;
};

CPLog& GetLog();
