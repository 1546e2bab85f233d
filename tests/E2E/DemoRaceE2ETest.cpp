// The demo's race as a player plays it: the program itself on a copy of the demo root (level 1, the
// mission, the game's own scripts), driven by a recorded input file at a fixed frame time. Enter on
// "new", a name, the shop's "race"; Up held from the countdown on; P pauses the race and starts it
// again; A spends an ability after the second "plus" bonus; C goes through the three views. The
// scripts' journal must show the bonuses on the road reaching the scripts in the order the race
// sends them, the ability counted up to the mission's maximum and spent through ActivateAbilities,
// the checkpoints passed in order with the first one's bonus drop picked up (money), the views
// changed, no script stopped by an error, and the race finished and saved, the records screen showing
// the profile's line with the race's time.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"

namespace fs = std::filesystem;

namespace {

// Turns at 0.04 s: the race starts near turn 120 and the car, held at full throttle, passes the
// second "plus" near turn 550 and the finish near turn 850.
constexpr const char* kInput = R"(5 key Return down
6 key Return up
10 text a
14 key Return down
15 key Return up
20 key Up down
21 key Up up
24 key Up down
25 key Up up
28 key Return down
29 key Return up
40 key Up down
300 key P down
301 key P up
320 key P down
321 key P up
640 key A down
641 key A up
700 key C down
701 key C up
720 key C down
721 key C up
740 key C down
741 key C up
1000 key Escape down
1001 key Escape up
1020 key Escape down
1021 key Escape up
)";

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// What the race tells the scripts about bonuses and abilities, in journal order.
std::vector<std::string> BonusLines(const std::vector<std::string>& journal) {
    const char* kinds[] = {"main update_bonus_list ",
                           "game_interface redraw_abilities",
                           "game_interface = abilities ",
                           "game_interface show_message ",
                           "jeep key_action ability,1",
                           "jeep = ability ",
                           "main = mana "};
    std::vector<std::string> out;
    for (const std::string& line : journal)
        for (const char* kind : kinds)
            if (StartsWith(line, kind)) out.push_back(line);
    return out;
}

TEST(DemoRaceE2ETest, BonusesAbilitiesAndCheckpointsReachTheScriptsOfTheDemoRace) {
    char pattern[] = "/tmp/vastrel-demorace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root));
    std::ofstream(root / "input.txt") << kInput;
    ProgramHarness::SmallScreen(root);

    ProgramHarness::ProgramOptions options;
    options.environment = {{"VASTREL_FRAME_DT", "0.04"},
                           {"VASTREL_INPUT", (root / "input.txt").string()},
                           {"VASTREL_JOURNAL", (root / "journal.txt").string()}};
    const int code = ProgramHarness::RunProgram(root, options);
    const std::string out = ProgramHarness::ReadFile(root / "program.out");
    const std::vector<std::string> journal = ProgramHarness::Lines(ProgramHarness::ReadFile(root / "journal.txt"));
    std::error_code ignored;
    fs::remove_all(root, ignored);
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;
    std::string all;
    for (const std::string& line : journal) all += line + "\n";

    // At the start the abilities line is drawn; along the road: repair, an ability won and lost, the gloom portal; after the jump a
    // slow-down, an ability won again and a push; A spends that ability; the finish. Each pickup
    // reaches "main" as "update_bonus_list" and "game_interface" as its message, with
    // "redraw_abilities" before the message when the count changed (a turn later, "main" reads
    // first). The ability left over at the finish is kept as mana: none here.
    const std::vector<std::string> expected = {
        // The start: no mana saved, so no ability carried into the race.
        "game_interface redraw_abilities ",
        "game_interface = abilities 0.00,3.00",
        "main update_bonus_list repair",
        "game_interface show_message remont!",
        "main update_bonus_list plus",
        "game_interface redraw_abilities ",
        "game_interface = abilities 1.00,3.00",
        "game_interface show_message sposobnost+1!",
        "main update_bonus_list minus",
        "game_interface redraw_abilities ",
        "game_interface = abilities 0.00,3.00",
        "game_interface show_message sposobnost-1!",
        "main update_bonus_list gloom",
        "game_interface show_message uron_x2!",
        "main update_bonus_list brake",
        "game_interface show_message zamedlenie!",
        "main update_bonus_list plus",
        "game_interface redraw_abilities ",
        "game_interface = abilities 1.00,3.00",
        "game_interface show_message sposobnost+1!",
        "main update_bonus_list axel",
        "game_interface show_message uskorenie!",
        "jeep key_action ability,1",
        "jeep = ability 1.00,3.00",
        "game_interface redraw_abilities ",
        "game_interface = abilities 0.00,3.00",
        "game_interface show_message finish!",
        "main = mana 0.00",
    };
    EXPECT_EQ(BonusLines(journal), expected) << all;

    // The pause stopped and restarted the clock; the checkpoints came in order, each later than
    // the one before, and the first one's bonus (the mission's line 1 drops money every time) was
    // on the road for the car to take before the second.
    std::vector<std::string> checkpoints;
    std::vector<float> times;
    int paused = 0, moneyAfterFirst = -1;
    for (size_t i = 0; i < journal.size(); ++i) {
        const std::string& line = journal[i];
        if (line == "main = paused true" || line == "main = paused false") ++paused;
        if (StartsWith(line, "main = checkpoint ")) {
            const std::string value = line.substr(18);
            checkpoints.push_back(value.substr(0, value.find(',')));
            times.push_back(std::stof(value.substr(value.find(',') + 1)));
            if (checkpoints.size() == 1) moneyAfterFirst = 0;
        }
        if (checkpoints.size() == 1 && line == "gamemenu = money 1100.00") moneyAfterFirst = 1;
    }
    EXPECT_EQ(paused, 2) << all;
    // The views in turn: the far side view, the bonnet, and back; no script stopped on an error.
    std::vector<std::string> views;
    for (const std::string& line : journal) {
        if (StartsWith(line, "main = camera ")) views.push_back(line.substr(14));
        EXPECT_EQ(line.find(" = error "), std::string::npos) << line;
    }
    EXPECT_EQ(views, (std::vector<std::string>{"1.00", "2.00", "0.00"})) << all;
    EXPECT_EQ(checkpoints, (std::vector<std::string>{"1.00", "2.00", "3.00"})) << all;
    ASSERT_EQ(times.size(), 3u);
    EXPECT_LT(times[0], times[1]);
    EXPECT_LT(times[1], times[2]);
    EXPECT_EQ(moneyAfterFirst, 1) << "the bonus dropped at the first checkpoint was not picked up\n" << all;

    // The finish: the race time on the level's own clock (which stood still while paused) after the
    // last checkpoint, within the bronze time; the record saved and the records screen shown.
    float raceTime = 0.0f;
    bool record = false, records = false;
    for (const std::string& line : journal) {
        if (StartsWith(line, "main = race_time ")) raceTime = std::stof(line.substr(17));
        record = record || line == "main = record true";
        records = records || line == "main = screen records";
    }
    EXPECT_GT(raceTime, times[2]);
    EXPECT_LT(raceTime, 36.0f);
    EXPECT_TRUE(record && records) << all;

    // The records screen: the profile's line in the score table, marked as its own, and the score
    // line read back are the typed name with the race's time ("mm:ss:hh", the hundredths cut off).
    std::string scoreLine, ownLine;
    for (const std::string& line : journal) {
        if (StartsWith(line, "records = score_line ")) scoreLine = line.substr(21);
        if (StartsWith(line, "records = own_line ")) ownLine = line.substr(19);
    }
    EXPECT_EQ(ownLine, "1.00") << all;
    ASSERT_EQ(scoreLine.rfind("A,", 0), 0u) << all;
    int minutes = -1, seconds = -1, hundredths = -1;
    ASSERT_EQ(std::sscanf(scoreLine.c_str() + 2, "%d:%d:%d", &minutes, &seconds, &hundredths), 3) << scoreLine;
    EXPECT_NEAR(minutes * 60 + seconds + hundredths / 100.0, raceTime, 0.011) << scoreLine;
    EXPECT_NE(std::find(journal.begin(), journal.end(), "records = rec1 A," + scoreLine.substr(2)), journal.end())
        << all;
}

} // namespace
