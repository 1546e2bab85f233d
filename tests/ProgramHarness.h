#pragma once
// The whole program under test: a demo game root laid out from data/ and the build's tools, the
// program run on a root as its own process (headless: offscreen video, no sound device, shell opens
// off, a fixed frame time), and the application run in this process on SDL's offscreen window.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Application/PApplication.h"
#include "Application/SdlPlatform.h"
#include "DemoRootSupport.h"
#include "Platform/Dialog.h"
#include "Platform/NullDevice.h"

namespace ProgramHarness {

namespace fs = std::filesystem;

using DemoRootSupport::kLevel1Text;
using DemoRootSupport::RunTool;

// The whole file; empty when it does not exist.
inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The text's lines as getline splits them.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Tests that draw need SDL's offscreen video driver.
inline bool Offscreen() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver && std::string(driver) == "offscreen";
}

// What the program prints when it finds no GL context.
inline bool CouldNotStart(const std::string& output) { return output.find("could not start") != std::string::npos; }

// The demo game root in `dir`, level 1 made from `levelText` (relative paths are taken in `dir`; an
// empty path makes no level).
inline ::testing::AssertionResult MakeDemoRoot(const fs::path& dir, const fs::path& levelText = kLevel1Text) {
    const std::string error = DemoRootSupport::MakeDemoRoot(dir, levelText);
    if (!error.empty()) return ::testing::AssertionFailure() << error;
    return ::testing::AssertionSuccess();
}

// Level 1's text with its finish moved to x along the road, written to `path`.
inline void WriteLevel1WithFinishAt(const fs::path& path, int x) {
    std::ifstream in(kLevel1Text);
    std::ofstream out(path);
    for (std::string line; std::getline(in, line);)
        out << (line.rfind("object fin,20 ", 0) == 0 ? "object fin,20 " + std::to_string(x) + " 0 0 0 0 0 1 1 1 1"
                                                     : line)
            << "\n";
}

// Puts `text` before what the file holds.
inline void Prepend(const fs::path& file, const std::string& text) {
    const std::string was = ReadFile(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text << was;
}

// A small screen keeps the software renderer quick.
inline void SmallScreen(const fs::path& root) {
    std::ofstream(root / "config.cfg", std::ios::app) << "screenWidth = 320\r\nscreenHeight = 240\r\n";
}

struct ProgramOptions {
    std::vector<std::string> arguments{"--start=windowed"};
    // Beyond the headless set.
    std::vector<std::pair<std::string, std::string>> environment;
    // "program.out" gets stdout and stderr, started afresh unless appended to.
    bool appendOutput = false;
    // Runs as nobody (when this process may), so that file permissions hold.
    bool dropPrivileges = false;
    // Killed (SIGKILL) when it has not ended by then; without a delay it runs to its end.
    std::optional<std::chrono::microseconds> killAfter;
};

// Runs the program in `dir`; its exit code, or -1 when it was killed or did not exit.
inline int RunProgram(const fs::path& dir, const ProgramOptions& options = {}) {
    std::vector<std::string> arguments{"vastrel"};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (options.dropPrivileges && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
        const int out = open("program.out", O_WRONLY | O_CREAT | (options.appendOutput ? O_APPEND : O_TRUNC), 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("VASTREL_SHELL", "off", 1);
        setenv("VASTREL_FRAME_DT", "0.02", 1);
        for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
        execv(VASTREL_BINARY_DIR "/bin/vastrel", argv.data());
        _exit(127);
    }
    if (pid < 0) return -1;
    int status = 0;
    if (options.killAfter) {
        const auto end = std::chrono::steady_clock::now() + *options.killAfter;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    } else {
        waitpid(pid, &status, 0);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The device the in-process application draws with: the null device, or OpenGL, optionally told
// the SDL window to present into.
enum class Device { Null, Gl, GlInWindow };

// The application's platform on SDL (offscreen under the tests), with the launcher's "start
// windowed" pressed.
inline ApplicationPlatform SdlPlatform(Device device) {
    ApplicationPlatform platform = SdlApplicationPlatform();
    platform.startButton = Platform::ControlStartWindowed;
    if (device == Device::Null) platform.makeDevice = [] { return std::make_unique<Platform::NullBackend>(); };
    if (device != Device::GlInWindow) platform.deviceWindow = nullptr;
    return platform;
}

// Runs the application to its end; it is gone when this returns.
inline RunResult RunApplication(const ApplicationPlatform& platform) {
    CPApplication application(platform);
    return application.Run();
}

} // namespace ProgramHarness
