#pragma once
// The desktop shell: opening a web page or a document with the user's handler and starting a
// program. Nothing here waits for what it started.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// The publisher's page, opened when the program ends.
inline constexpr const char* kPublisherPage = "https://vastrel.example/";
// The link file and the companion program the exit opens when they are present.
inline constexpr const char* kExitLinkFile = "play.url";
inline constexpr const char* kCompanionProgram = "fscommand/pruvex";
inline constexpr const char* kCompanionDirectory = "fscommand";

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a web address or a file ("open"); a Windows Internet shortcut (".url") opens the
    // address it holds. False when nothing could be started.
    virtual bool Open(const std::string& target) = 0;
    // Starts a program in a working directory. False when it could not be started.
    virtual bool Start(const std::string& program, const std::string& workingDirectory) = 0;
};

// xdg-open and fork/exec. With VASTREL_SHELL=off in the environment every call does nothing and
// answers true.
class SystemShell final : public Shell {
public:
    bool Open(const std::string& target) override;
    bool Start(const std::string& program, const std::string& workingDirectory) override;
};

// Records what it was asked instead of doing it.
class RecordingShell final : public Shell {
public:
    struct Call {
        std::string verb; // "open" or "start"
        std::string target;
        std::string directory; // "start" only
        bool operator==(const Call&) const = default;
    };
    bool Open(const std::string& target) override;
    bool Start(const std::string& program, const std::string& workingDirectory) override;

    std::vector<Call> calls;
    bool answer = true;
};

// The address of a Windows Internet shortcut: the "URL=" entry of its [InternetShortcut] section,
// trimmed. None when it has no such entry or the value could be taken for an option.
std::optional<std::string> ParseInternetShortcut(std::string_view text);

// What the program does on its way out: opens "play.url" when it can be read, waits 100 ms, starts
// the companion program in its own folder when it can be read, and opens the publisher page.
// `resolvePath` turns a game path into the path on disk (identity when empty); `wait` sleeps
// (the real sleep when empty).
struct ExitActionHooks {
    std::function<std::string(const std::string&)> resolvePath;
    std::function<void(uint32_t milliseconds)> wait;
};
void RunExitActions(Shell& shell, const ExitActionHooks& hooks = {});

} // namespace Platform
