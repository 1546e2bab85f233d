#pragma once
// A fixture game root for script-driven tests: a copy of tests/fixtures/<name> in a fresh temporary
// directory that becomes the working directory while the test runs, and a kernel that runs a given
// number of turns. Scripts report what they saw by writing files with Lua's io library; the test
// reads those back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PKernel.h"
#include "Core/PPath.h"
#include "Platform/Message.h"

namespace ScriptHarness {

inline std::filesystem::path FixtureDir(const std::string& fixture) {
    return std::filesystem::path(VASTREL_SOURCE_DIR) / "tests" / "fixtures" / fixture;
}

// Copies the fixture (an empty fixture name gives an empty root) and enters the copy; the previous
// working directory comes back and the copy is removed on destruction.
class GameRoot {
public:
    explicit GameRoot(const std::string& fixture) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vastrel-root-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            ADD_FAILURE() << "cannot create a temporary game root";
            return;
        }
        root_ = pattern;
        std::error_code error;
        if (!fixture.empty())
            std::filesystem::copy(FixtureDir(fixture), root_, std::filesystem::copy_options::recursive, error);
        EXPECT_FALSE(error) << "cannot copy fixture " << fixture << ": " << error.message();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
        InvalidatePathCache();
    }
    ~GameRoot() {
        if (root_.empty()) return;
        std::filesystem::current_path(previous_);
        InvalidatePathCache();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    GameRoot(const GameRoot&) = delete;
    GameRoot& operator=(const GameRoot&) = delete;

    const std::filesystem::path& Path() const { return root_; }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(root_ / relative); }
    // The whole file; empty when it does not exist.
    std::string ReadFile(const std::string& relative) const {
        std::ifstream in(root_ / relative, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The file's lines without their line ends.
    std::vector<std::string> ReadLines(const std::string& relative) const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(relative));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

private:
    std::filesystem::path root_;
    std::filesystem::path previous_;
};

// Calls a function once per turn at a chosen priority, so a test can act between the tasks of a
// turn (tasks with a lower priority value have run, the others have not).
class ProbeTask : public CPTask {
public:
    ProbeTask(int priority, std::function<void()> onUpdate) : onUpdate_(std::move(onUpdate)) { priority_ = priority; }
    void Update() override {
        if (onUpdate_) onUpdate_();
    }
    int GetTaskKind() const override { return KindSystem; }
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "ProbeTask"; }

private:
    std::function<void()> onUpdate_;
};

// A kernel fed from a message queue. Run executes the loop for a number of turns: after the last
// task of turn n (1-based) the callback gets n, and after the last turn the loop is asked to quit,
// which stops and removes every task.
class TurnRunner {
public:
    TurnRunner() { kernel_.SetMessageSource(&messages_); }

    CPKernel& Kernel() { return kernel_; }

    void Run(int turns, const std::function<void(int)>& afterTurn = {}) {
        AppActive = true;
        int turn = 0;
        CPRefPtr<ProbeTask> last(new ProbeTask(INT_MAX, [&] {
            ++turn;
            if (afterTurn) afterTurn(turn);
            if (turn == turns) messages_.Post({Platform::MessageId::Quit});
        }));
        kernel_.AddTask(last);
        kernel_.Execute();
    }

private:
    Platform::QueueMessageSource messages_;
    CPKernel kernel_;
};

} // namespace ScriptHarness
