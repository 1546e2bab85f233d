// The whole program, run as a process on a fixture game root with no screen: offscreen video, no
// sound device, shell opens turned off.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ScriptHarness.h"

namespace {

using ScriptHarness::GameRoot;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int RunProgram(const std::string& arguments) {
    std::string command = "SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null VASTREL_SHELL=off VASTREL_FRAME_DT=0.02 "
                          "\"" VASTREL_BINARY_DIR "/bin/vastrel\" " +
                          arguments + " > program.out 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramTest, StartWindowedRunsTheScriptsAndWritesTheFiles) {
    GameRoot root("app/quits");
    int code = RunProgram("--start=windowed");
    if (ReadFile("program.out").find("could not start") != std::string::npos)
        GTEST_SKIP() << "no GL context here: " << ReadFile("program.out");
    EXPECT_EQ(code, 0) << ReadFile("program.out");
    std::string config = ReadFile("config.cfg");
    EXPECT_EQ(std::count(config.begin(), config.end(), '\n'), 32);
    EXPECT_EQ(config.rfind("fullScreen = 0\r\n", 0), 0u);
    EXPECT_EQ(ReadFile("Actions.cfg"), "fire;Fire;Space;false\r\nx;Slot five;5;true\r\nmenu;Menu;Esc;false\r\n");
    EXPECT_NE(ReadFile("main.log").find("5 quit\n"), std::string::npos);
}

TEST(ProgramTest, StartExitOpensNothingAndWritesNothing) {
    GameRoot root("app/quits");
    std::string config = ReadFile("config.cfg");
    EXPECT_EQ(RunProgram("--start=exit"), 0) << ReadFile("program.out");
    EXPECT_EQ(ReadFile("config.cfg"), config);
    EXPECT_FALSE(root.Exists("main.log"));
}

TEST(ProgramTest, BadArgumentsAndAMissingRoot) {
    GameRoot root("app/quits");
    EXPECT_EQ(RunProgram("--start=sideways"), 2);
    EXPECT_EQ(RunProgram("--root=/no/such/folder --start=exit"), 1);
}

} // namespace
