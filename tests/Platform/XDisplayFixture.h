#pragma once
// Tests on a real X display, driven by key presses that xdotool sends through the X server. They run
// only when VASTREL_E2E_GTK is set (their ctest entries set it). Without a display the test runs
// itself again under xvfb-run, in this same program, and passes or fails as that run does; the
// outer run then sees `underXvfb_` and does nothing more.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

class XDisplayFixture : public ::testing::Test {
protected:
    // `screen` is Xvfb's screen: "<width>x<height>x<depth>".
    explicit XDisplayFixture(const char* screen) : screen_(screen) {}

    void SetUp() override {
        if (!std::getenv("VASTREL_E2E_GTK")) GTEST_SKIP() << "the e2e run sets VASTREL_E2E_GTK";
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
        if (!std::getenv("DISPLAY")) {
            if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
            const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
            const std::string command = "LANG=C.UTF-8 xvfb-run -a -s '-screen 0 " + std::string(screen_) + "' /proc/" +
                                        std::to_string(getpid()) + "/exe --gtest_filter=" + test->test_suite_name() +
                                        "." + test->name();
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            underXvfb_ = true;
        }
    }

    bool underXvfb_ = false;

private:
    const char* screen_;
};
