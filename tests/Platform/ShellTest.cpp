#include "Platform/Shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Call = Platform::RecordingShell::Call;

TEST(InternetShortcut, ParseUrl) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {"CRLF lines", "[InternetShortcut]\r\nURL=https://vastrel.example/play\r\n", "https://vastrel.example/play"},
        {"LF lines, other entries around",
         "[InternetShortcut]\nIconIndex=0\nURL=http://a.example/x?y=1\nIconFile=x.ico\n", "http://a.example/x?y=1"},
        {"key in any case, blanks around", "[internetshortcut]\r\n  url = http://b.example/ \r\n", "http://b.example/"},
        {"URL with spaces kept whole", "[InternetShortcut]\r\nURL=file:///C:/Program Files/Play Me.html\r\n",
         "file:///C:/Program Files/Play Me.html"},
        {"no URL line", "[InternetShortcut]\r\nIconIndex=0\r\n", std::nullopt},
        {"empty file", "", std::nullopt},
        {"URL outside the section", "[DEFAULT]\r\nURL=http://c.example/\r\n", std::nullopt},
        {"BASEURL is another key", "[InternetShortcut]\r\nBASEURL=http://d.example/\r\n", std::nullopt},
        {"empty URL", "[InternetShortcut]\r\nURL=\r\n", std::nullopt},
        {"option-like URL refused", "[InternetShortcut]\r\nURL=--help\r\n", std::nullopt},
        {"no final line break", "[InternetShortcut]\r\nURL=http://e.example/", "http://e.example/"},
        {"first URL wins", "[InternetShortcut]\nURL=http://f.example/\nURL=http://g.example/\n", "http://f.example/"},
    };
    for (const Case& c : cases) EXPECT_EQ(Platform::ParseInternetShortcut(c.text), c.url) << c.name;
}

// A scratch working directory, left again at the end.
class ShellDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("vastrel-shell-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static void Write(const fs::path& path, const std::string& text, bool executable = false) {
        fs::create_directories(path.parent_path().empty() ? "." : path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        if (executable) chmod(path.c_str(), 0755);
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits up to two seconds for a file a detached program writes.
    static bool WaitFor(const fs::path& path) {
        for (int i = 0; i < 1000 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return fs::exists(path);
    }

    fs::path old_;
    fs::path dir_;
};

using ExitActions = ShellDirectory;

TEST_F(ExitActions, OrderWithLinkFileAndCompanion) {
    Write("play.url", "[InternetShortcut]\r\nURL=http://a.example/\r\n");
    Write("fscommand/pruvex", "#!/bin/sh\n", true);
    Platform::RecordingShell shell;
    Platform::ExitActionHooks hooks;
    hooks.wait = [&](uint32_t ms) { shell.calls.push_back({"wait", std::to_string(ms), {}}); };
    Platform::RunExitActions(shell, hooks);
    const std::vector<Call> expected = {
        {"open", "play.url", {}},
        {"wait", "100", {}},
        {"start", "fscommand/pruvex", "fscommand"},
        {"open", Platform::kPublisherPage, {}},
    };
    EXPECT_EQ(shell.calls, expected);
}

TEST_F(ExitActions, MissingFilesAreSkippedAndThePageStillOpens) {
    // A directory of the link file's name is not a file that can be read.
    fs::create_directories("play.url");
    Platform::RecordingShell shell;
    shell.answer = false; // what the shell answers changes nothing
    Platform::ExitActionHooks hooks;
    hooks.wait = [&](uint32_t ms) { shell.calls.push_back({"wait", std::to_string(ms), {}}); };
    Platform::RunExitActions(shell, hooks);
    const std::vector<Call> expected = {
        {"wait", "100", {}},
        {"open", Platform::kPublisherPage, {}},
    };
    EXPECT_EQ(shell.calls, expected);
}

TEST_F(ExitActions, PathsGoThroughTheResolver) {
    Write("Play.URL", "[InternetShortcut]\r\nURL=http://a.example/\r\n");
    Write("FSCommand/Pruvex", "#!/bin/sh\n", true);
    Platform::RecordingShell shell;
    Platform::ExitActionHooks hooks;
    hooks.wait = [](uint32_t) {};
    hooks.resolvePath = [](const std::string& p) {
        if (p == "play.url") return std::string("Play.URL");
        if (p == "fscommand/pruvex") return std::string("FSCommand/Pruvex");
        if (p == "fscommand") return std::string("FSCommand");
        return p;
    };
    Platform::RunExitActions(shell, hooks);
    const std::vector<Call> expected = {
        {"open", "Play.URL", {}},
        {"start", "FSCommand/Pruvex", "FSCommand"},
        {"open", Platform::kPublisherPage, {}},
    };
    EXPECT_EQ(shell.calls, expected);
}

TEST_F(ExitActions, RealWaitIsAtLeastATenthOfASecond) {
    Platform::RecordingShell shell;
    const auto start = std::chrono::steady_clock::now();
    Platform::RunExitActions(shell);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

// The real shell, with a stand-in xdg-open first on the PATH that writes down its arguments.
class SystemShellTest : public ShellDirectory {
protected:
    void SetUp() override {
        ShellDirectory::SetUp();
        const char* shell = std::getenv("VASTREL_SHELL");
        savedShell_ = shell ? std::optional<std::string>(shell) : std::nullopt;
        unsetenv("VASTREL_SHELL");
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        Write("bin/xdg-open",
              "#!/bin/sh\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done > \"" + (dir_ / "opened.tmp").string() +
                  "\"\nmv \"" + (dir_ / "opened.tmp").string() + "\" \"" + (dir_ / "opened").string() + "\"\n",
              true);
        setenv("PATH", ((dir_ / "bin").string() + ":" + savedPath_).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        if (savedShell_) setenv("VASTREL_SHELL", savedShell_->c_str(), 1);
        ShellDirectory::TearDown();
    }
    std::optional<std::string> savedShell_;
    std::string savedPath_;
};

TEST_F(SystemShellTest, OpensAWebPageWithXdgOpen) {
    Platform::SystemShell shell;
    ASSERT_TRUE(shell.Open("https://vastrel.example/"));
    ASSERT_TRUE(WaitFor(dir_ / "opened"));
    EXPECT_EQ(Read(dir_ / "opened"), "<https://vastrel.example/>");
}

TEST_F(SystemShellTest, OpensTheAddressOfALinkFile) {
    Write("play.url", "[InternetShortcut]\r\nURL=file:///tmp/Play Me.html\r\n");
    Platform::SystemShell shell;
    ASSERT_TRUE(shell.Open("play.url"));
    ASSERT_TRUE(WaitFor(dir_ / "opened"));
    EXPECT_EQ(Read(dir_ / "opened"), "<file:///tmp/Play Me.html>");
}

TEST_F(SystemShellTest, LinkFileWithoutAddressOpensNothing) {
    Write("play.url", "[InternetShortcut]\r\n");
    Platform::SystemShell shell;
    EXPECT_FALSE(shell.Open("play.url"));
    EXPECT_FALSE(shell.Open("missing.url"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(dir_ / "opened"));
}

TEST_F(SystemShellTest, StartsAProgramInItsFolderWithoutWaiting) {
    // The program outlives the call: it writes its working directory only once the test lets it go,
    // so a Start that waited for it would find "started" already there (after the program gives up).
    Write("fscommand/pruvex",
          "#!/bin/sh\nn=0\nwhile [ ! -f go ] && [ $n -lt 2000 ]; do sleep 0.01; n=$((n+1)); done\n"
          "pwd > started.tmp && mv started.tmp started\n",
          true);
    Platform::SystemShell shell;
    ASSERT_TRUE(shell.Start("fscommand/pruvex", "fscommand"));
    EXPECT_FALSE(fs::exists(dir_ / "fscommand/started"));
    Write("fscommand/go", "");
    ASSERT_TRUE(WaitFor(dir_ / "fscommand/started"));
    EXPECT_EQ(Read(dir_ / "fscommand/started"), fs::canonical(dir_ / "fscommand").string() + "\n");
}

TEST_F(SystemShellTest, ProgramThatCannotStartAnswersFalse) {
    Write("fscommand/notexec", "#!/bin/sh\n");
    Platform::SystemShell shell;
    EXPECT_FALSE(shell.Start("fscommand/missing", "fscommand"));
    EXPECT_FALSE(shell.Start("fscommand/notexec", "fscommand"));
    EXPECT_FALSE(shell.Start("fscommand/pruvex", "no-such-folder"));
}

TEST_F(SystemShellTest, SwitchedOffDoesNothing) {
    setenv("VASTREL_SHELL", "off", 1);
    Write("fscommand/pruvex", "#!/bin/sh\ntouch ran\n", true);
    Platform::SystemShell shell;
    EXPECT_TRUE(shell.Open("https://vastrel.example/"));
    EXPECT_TRUE(shell.Start("fscommand/pruvex", "fscommand"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(dir_ / "opened"));
    EXPECT_FALSE(fs::exists(dir_ / "fscommand/ran"));
}

} // namespace
