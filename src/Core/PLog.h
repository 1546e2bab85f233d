#pragma once

// The process log. Writing is a no-op in normal runs; with VASTREL_LOG=1 in the environment at
// start the messages go to stderr, as a debugging aid that changes no behaviour.
class CPLog {
public:
    CPLog();
    virtual ~CPLog() = default;

    void Write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool IsOpen() const { return true; }

private:
    bool m_echo = false;
};

CPLog& GetLog();
