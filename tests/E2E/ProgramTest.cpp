// The whole program, run as a process on a fixture game root with no screen: offscreen video, no
// sound device, shell opens turned off.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ProgramHarness.h"
#include "ScriptHarness.h"

namespace {

using ProgramHarness::ReadFile;
using ScriptHarness::GameRoot;

int RunProgram(std::vector<std::string> arguments) {
    ProgramHarness::ProgramOptions options;
    options.arguments = std::move(arguments);
    return ProgramHarness::RunProgram(".", options);
}

TEST(ProgramTest, StartWindowedRunsTheScriptsAndWritesTheFiles) {
    GameRoot root("app/quits");
    int code = RunProgram({"--start=windowed"});
    if (ProgramHarness::CouldNotStart(ReadFile("program.out")))
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
    EXPECT_EQ(RunProgram({"--start=exit"}), 0) << ReadFile("program.out");
    EXPECT_EQ(ReadFile("config.cfg"), config);
    EXPECT_FALSE(root.Exists("main.log"));
}

TEST(ProgramTest, BadArgumentsAndAMissingRoot) {
    GameRoot root("app/quits");
    EXPECT_EQ(RunProgram({"--start=sideways"}), 2);
    EXPECT_EQ(RunProgram({"--root=/no/such/folder", "--start=exit"}), 1);
}

} // namespace
