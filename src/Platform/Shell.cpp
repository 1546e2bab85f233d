#include "Platform/Shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace Platform {

namespace {

bool ShellDisabled() {
    const char* v = std::getenv("VASTREL_SHELL");
    return v && std::strcmp(v, "off") == 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool IsReadableFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return access(path.c_str(), R_OK) == 0;
}

// Runs argv[0] (a path, or a name looked up in PATH when it has no slash) detached: a double fork
// leaves the program to init, so nothing is left to reap and nothing waits for it. The pipe,
// closed by a successful exec, tells whether it started.
bool Spawn(const std::vector<std::string>& args, const std::string& workingDirectory) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const char* dir = workingDirectory.empty() ? nullptr : workingDirectory.c_str();

    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(status[0]);
        close(status[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        close(status[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            if (null > STDERR_FILENO) close(null);
        }
        int err = 0;
        if (dir && chdir(dir) != 0) err = errno;
        if (!err) {
            execvp(argv[0], argv.data());
            err = errno;
        }
        ssize_t ignored = write(status[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }
    close(status[1]);
    int childStatus = 0;
    while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t got;
    while ((got = read(status[0], &err, sizeof err)) < 0 && errno == EINTR) {}
    close(status[0]);
    // End of file with the first child gone cleanly: the exec closed the pipe.
    return got == 0 && WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

bool HasUrlExtension(const std::string& path) {
    return path.size() > 4 && EqualsIgnoringCase(std::string_view(path).substr(path.size() - 4), ".url");
}

} // namespace

std::optional<std::string> ParseInternetShortcut(std::string_view text) {
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            inSection = EqualsIgnoringCase(line, "[InternetShortcut]");
            continue;
        }
        const size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos || !EqualsIgnoringCase(Trim(line.substr(0, eq)), "URL"))
            continue;
        const std::string_view url = Trim(line.substr(eq + 1));
        // xdg-open would read a leading "-" as an option.
        if (url.empty() || url.front() == '-') return std::nullopt;
        for (const char c : url)
            if (static_cast<unsigned char>(c) < 32) return std::nullopt;
        return std::string(url);
    }
    return std::nullopt;
}

bool SystemShell::Open(const std::string& target) {
    if (ShellDisabled()) return true;
    if (target.empty()) return false;
    if (HasUrlExtension(target)) {
        std::ifstream file(target, std::ios::binary);
        if (!file) return false;
        std::ostringstream text;
        text << file.rdbuf();
        const auto url = ParseInternetShortcut(text.str());
        return url && Spawn({"xdg-open", *url}, {});
    }
    // A path starting with "-" would be taken for an option.
    return Spawn({"xdg-open", target.front() == '-' ? "./" + target : target}, {});
}

bool SystemShell::Start(const std::string& program, const std::string& workingDirectory) {
    if (ShellDisabled()) return true;
    if (program.empty()) return false;
    // The working directory changes before exec, so a relative program path must not.
    return Spawn({Absolute(program)}, workingDirectory);
}

bool RecordingShell::Open(const std::string& target) {
    calls.push_back({"open", target, {}});
    return answer;
}

bool RecordingShell::Start(const std::string& program, const std::string& workingDirectory) {
    calls.push_back({"start", program, workingDirectory});
    return answer;
}

void RunExitActions(Shell& shell, const ExitActionHooks& hooks) {
    auto resolve = [&](const std::string& path) { return hooks.resolvePath ? hooks.resolvePath(path) : path; };
    const std::string link = resolve(kExitLinkFile);
    if (IsReadableFile(link)) shell.Open(link);

    if (hooks.wait) hooks.wait(100);
    else std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const std::string companion = resolve(kCompanionProgram);
    if (IsReadableFile(companion)) shell.Start(companion, resolve(kCompanionDirectory));

    shell.Open(kPublisherPage);
}

} // namespace Platform
