// The demo's screens played by the real program from an input replay, at a fixed frame time: a new
// profile made and then deleted, which takes a second Delete; the options' mouse speed, blur and
// filtering stepped, the fire key reassigned and the default keys brought back; Exit, after which
// the screens press nothing more. And the shop of a new profile: weapons for sale at once, and "auto"
// fitting the car that races at the price it charges. The journal the scripts write and the files
// the game leaves tell what happened.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"

namespace fs = std::filesystem;

namespace {

using ProgramHarness::ReadFile;

// The lines of a text, the game's files' "\r\n" endings read as "\n".
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = ProgramHarness::Lines(text);
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

// Keys pressed one after another, each held two turns, at a fixed pace.
class Replay {
public:
    Replay& Press(const std::string& key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            text_ << turn_ << " key " << key << " down\n" << turn_ + 2 << " key " << key << " up\n";
            turn_ += 6;
        }
        return *this;
    }
    // `second` pressed a turn after `first`, both let go together.
    Replay& Then(const std::string& first, const std::string& second) {
        text_ << turn_ << " key " << first << " down\n" << turn_ + 1 << " key " << second << " down\n";
        text_ << turn_ + 2 << " key " << first << " up\n" << turn_ + 2 << " key " << second << " up\n";
        turn_ += 6;
        return *this;
    }
    Replay& Type(const std::string& text) {
        text_ << turn_ << " text " << text << "\n";
        turn_ += 6;
        return *this;
    }
    // The pointer moved to (x, y) on the 1024 x 768 screen, from where the last move left it (the
    // corner at the start), and the left button clicked there.
    Replay& ClickAt(int x, int y) {
        text_ << turn_ << " motion " << x - x_ << " " << y - y_ << "\n";
        text_ << turn_ + 1 << " button left down\n" << turn_ + 2 << " button left up\n";
        x_ = x;
        y_ = y;
        turn_ += 6;
        return *this;
    }
    // Time for a screen to change.
    Replay& Wait(int turns = 10) {
        turn_ += turns;
        return *this;
    }
    std::string Text() const { return text_.str(); }

private:
    std::ostringstream text_;
    int turn_ = 10;
    int x_ = 0, y_ = 0;
};

// Where each of `wanted` stands in `lines`, searched in order; -1 from the first one missing on.
std::vector<int> FindInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
    std::vector<int> at;
    size_t from = 0;
    for (const std::string& w : wanted) {
        size_t i = from;
        while (i < lines.size() && lines[i] != w) ++i;
        if (i == lines.size()) {
            at.resize(wanted.size(), -1);
            return at;
        }
        at.push_back(static_cast<int>(i));
        from = i + 1;
    }
    return at;
}

class ScreensE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vastrel-screens-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Runs the program on the replay; the exit status, or -1.
    int Run(const std::string& replay) {
        std::ofstream(root_ / "replay.txt") << replay;
        ProgramHarness::ProgramOptions options;
        options.environment = {{"VASTREL_INPUT", "replay.txt"}, {"VASTREL_JOURNAL", "journal.txt"}};
        return ProgramHarness::RunProgram(root_, options);
    }

    fs::path root_;
};

TEST_F(ScreensE2ETest, AProfileIsDeletedOnlyAtTheSecondDeleteAndTheOptionsAndKeysAreKept) {
    Replay replay;
    // New game: the name typed, OK, the shop, Back to the menu.
    replay.Press("Return").Wait().Type("ann").Wait().Press("Return").Wait(20).Press("Up").Press("Return").Wait();
    // New game again: slot 1 (the profile's own) chosen, then Delete twice.
    replay.Press("Return").Wait().Press("Down").Press("Return").Press("Down", 6).Press("Return").Wait();
    replay.Press("Return").Wait().Press("Escape").Wait();
    // The options: mouse speed up, blur switched, filtering stepped.
    replay.Press("Down", 3).Press("Return").Wait().Press("Down", 7).Press("Return");
    replay.Press("Down").Press("Return").Press("Down").Press("Return");
    // Change: E (next weapon) is pressed while the key is awaited, then again as the new fire key.
    replay.Press("Up", 5).Press("Return").Wait().Press("E").Wait().Press("E").Wait();
    // The default keys; back to the menu and out, Enter pressed while the screen fades.
    replay.Press("Down", 6).Press("Return").Wait().Press("Escape").Wait(20).Then("Escape", "Return");

    const int code = Run(replay.Text());
    const std::string out = ReadFile(root_ / "program.out");
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;
    const std::string journalText = ReadFile(root_ / "journal.txt");
    const std::vector<std::string> journal = Lines(journalText);

    // The profile: made, then the first Delete only warns (nothing is read or erased before the
    // second), the second erases the slot and the game goes on without a profile.
    const std::vector<std::string> deleting = {
        "profile = profile ANN,coupe_t,1000.00",
        "profile = slot1 ANN",
        "profile = button slot1",
        "profile = button delete",
        "profile = button delete",
        "profile = slot1 ANN",
        "profile = profile ,0.00",
        "profile = slot1 ",
    };
    const std::vector<int> at = FindInOrder(journal, deleting);
    ASSERT_NE(at.back(), -1) << journalText;
    for (int i = at[3] + 1; i < at[4]; ++i)
        EXPECT_EQ(journal[i].rfind("profile = ", 0), std::string::npos) << "before the second Delete: " << journal[i];
    EXPECT_EQ(ReadFile(root_ / "Data/Saves/save0.sav"), "") << "the deleted slot is free";

    // The options: each step journalled, and kept in "config.cfg" at the end.
    const std::vector<std::string> options = {
        "options = mouse 0.50",       "options = blur 0.00",  "options = aniso 2.00",       "options = button assign",
        "options key_assign E,false", "options = fire_key E", "showroom key_action fire,1", "options = button defaults",
        "options = fire_key LCtrl",   "main = quit ",
    };
    const std::vector<int> step = FindInOrder(journal, options);
    ASSERT_NE(step.back(), -1) << journalText;
    // While the key was awaited, E pressed and released reached no script as a game action.
    for (int i = step[3] + 1; i < step[4]; ++i)
        EXPECT_EQ(journal[i].find(" key_action "), std::string::npos) << "while awaiting the key: " << journal[i];
    const std::vector<std::string> config = Lines(ReadFile(root_ / "config.cfg"));
    for (const char* line : {"blur = 0", "aniso = 2", "mouse = 0.5"})
        EXPECT_NE(std::find(config.begin(), config.end(), line), config.end()) << line;
    // Once the game is closing every screen is told, and the menu's New no longer presses.
    const std::vector<int> closing = FindInOrder(journal, {"main = quit ", "menu closing ", "menu button new"});
    EXPECT_NE(closing[1], -1) << journalText;
    for (int i = closing[0]; i >= 0 && i < static_cast<int>(journal.size()); ++i)
        EXPECT_EQ(journal[i].rfind("menu = button", 0), std::string::npos) << "after the quit: " << journal[i];
    // The default keys are the player's again: fire on Left Ctrl, E the next weapon.
    const std::vector<std::string> actions = Lines(ReadFile(root_ / "Actions.cfg"));
    for (const char* line : {"fire;Fire;LCtrl;false", "next_weapon;Next weapon;E;false"})
        EXPECT_NE(std::find(actions.begin(), actions.end(), line), actions.end()) << line;
}

// A new profile's first look at the shop: it opens on the weapons, and two are for sale. Then
// "auto": the set it fits is paid for, so it is the car that races, and the money shown is what is
// left. The demo's figures: 1000 to start with, a starting car worth 1610 (machine gun 100, rocket
// launcher 450, two shock charges 500 each, spikes 60, the stock engine free), and the first
// mission's best preset within 2610 is the third, at 630.
TEST_F(ScreensE2ETest, TheShopOpensOnWeaponsForSaleAndAutoFitsTheCarItChargesFor) {
    Replay replay;
    replay.Press("Return").Wait().Type("bo").Wait().Press("Return").Wait(20).ClickAt(250, 440).Wait();
    replay.Press("Escape").Wait(20).Press("Escape");

    const int code = Run(replay.Text());
    const std::string out = ReadFile(root_ / "program.out");
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;
    const std::string journalText = ReadFile(root_ / "journal.txt");
    std::vector<std::string> shop;
    for (const std::string& line : Lines(journalText))
        if (line.rfind("shop = ", 0) == 0) shop.push_back(line);

    const std::vector<std::string> expected = {
        "shop = profile BO,1000.00,coupe_t,1.00",
        "shop = money 1000",
        "shop = fitted mgun rlauncher v6 nuke spike",
        "shop = item gauss,Gauss gun,400.00",
        "shop = item hmgun,Heavy machine gun,300.00",
        "shop = button auto",
        "shop = auto mgun,,,nitro,,ram,v6,plate,,0.00,spike",
        "shop = money 1980",
        "shop = fitted mgun nitro ram v6 plate spike",
        "shop = item gauss,Gauss gun,400.00",
        "shop = item hmgun,Heavy machine gun,300.00",
    };
    EXPECT_EQ(shop, expected) << journalText;
}

// The options bring back the default keys from their own file, which replaces every binding: an
// action the game comes with but the defaults lack would be left without a key.
TEST(ScreensDataTest, TheDefaultKeysBindEveryActionTheGameComesWith) {
    const fs::path data = fs::path(VASTREL_SOURCE_DIR) / "data";
    const std::vector<std::string> defaults = Lines(ReadFile(data / "Data/DefaultActions.cfg"));
    const std::vector<std::string> game = Lines(ReadFile(data / "Actions.cfg"));
    ASSERT_FALSE(game.empty());
    for (const std::string& line : game)
        EXPECT_NE(std::find(defaults.begin(), defaults.end(), line), defaults.end()) << line;
}

} // namespace
