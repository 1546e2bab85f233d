// The program itself on a copy of the demo root whose level 1 is a fixture: the car at the start
// facing +X, a barrel 15 m ahead on its line and one 28.5 m ahead, where the rockets come down (their
// longest throw at 17 units a second). The barrels are the demo's scripted props (barrel.lua): they
// write each command they get to the journal. A few lines of the test's own before "main" start the
// race, hold the trigger through the car's script ("jeep"), switch to the rocket launcher, drop a
// money pickup on the car, fill and empty the bonus list (where a standing barrel holds a place) and
// shoot two lightning bolts, one at the car and one into the sky, noting what they saw. The journal
// is compared line by line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLayout = R"(header 0 0 0 0
lights 0
object player 0 0 0.6 0 0 0.70710677 0.70710677 1 1 1
object road_vis 0 0 0 0 0 0 1 1 1 1
object barrel_a 15 0 0 0 0 0 1 1 1 1
object barrel_b 28.5 0 0 0 0 0 1 1 1 1
trailer 0
)";

// Runs before "main": turn by turn, what a player and a race script would do.
constexpr const char* kDriver = R"(do
    local turn, update = 0, Update
    local path = os.getenv("VASTREL_JOURNAL")
    local function note(...)
        local parts = {}
        for i = 1, select("#", ...) do
            local v = select(i, ...)
            parts[#parts + 1] = type(v) == "number" and string.format("%.2f", v) or tostring(v)
        end
        local f = io.open(path, "a")
        f:write("driver ", table.concat(parts, " "), "\n")
        f:close()
    end
    local function key(action, down) SendCommandByName("jeep", "key_action", action .. "," .. (down and "1" or "0")) end
    -- A bolt is stepped once a turn; the note says how many turns it grew and how it ended.
    local bolt, grew, label
    local function startBolt(name, x, y, z, dx, dy, dz)
        bolt, grew, label = StartLighting("bolt", x, y, z, dx, dy, dz), 0, name
    end
    local function stepBolt()
        if not bolt then return end
        local state, hit = UpdateTrasser(bolt)
        if state == 1 then
            grew = grew + 1
        else
            note("bolt", label, grew, state, hit ~= nil and "hit" or "none")
            Release(bolt)
            bolt = nil
        end
    end
    local crate
    Update = function(...)
        turn = turn + 1
        if turn == 12 then
            SetPlayerName("coupe_t") InitPlayer() InitLevel("level1") InitSky() StartLevel()
            SetLevelStarted(true) SetUpdateTime(true)
        end
        if turn == 60 then key("fire", true) end
        if turn == 100 then key("fire", false) end
        if turn == 160 then key("next_weapon", true) key("next_weapon", false) end
        if turn == 165 then key("fire", true) end
        if turn == 330 then key("fire", false) end
        if turn == 340 then
            SetMoney(500)
            local x, y, z = GetPlayerPosition()
            Explosion("plus", x, y, z)
        end
        if turn == 360 then note("money", GetMoney()) end
        if turn == 362 then
            crate = LoadRenderObject("crate.rdf", 0)
            -- barrel_b still stands, first on the list: its script put it there.
            AddBonus(crate, 7) AddBonus(crate, 3)
            local list = GetBonusList()
            note("bonuses", GetBonusesCount(), #list, list[2][2], list[3][2], list[2][1] == crate)
            EraseBonus(crate)
            note("bonuses", GetBonusesCount(), GetBonusList()[2][2])
            ClearBonuses()
            note("bonuses", GetBonusesCount())
            Release(crate)
        end
        if turn == 370 then
            local x, y, z = GetPlayerPosition()
            startBolt("car", x, y + 5, z, 0, -1, 0)
        end
        if turn == 420 then startBolt("sky", 0, 0, 30, 0, 0, 1) end
        stepBolt()
        if turn == 560 then KillAllTasks() end
        return update(...)
    end
end
)";

using ProgramHarness::ReadFile;

// The journal lines of the barrels and the driver, in order.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("barrel_", 0) == 0 || line.rfind("driver ", 0) == 0) out.push_back(line);
    return out;
}

TEST(WeaponsProgramTest, BarrelsTakeTheShotsAndTheScriptsSeeMoneyBonusesAndBolts) {
    char pattern[] = "/tmp/vastrel-weapons-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    std::ofstream(root / "level.txt") << kLayout;
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root, "level.txt"));
    const fs::path main = root / "Data/Scripts/main.lua";
    ProgramHarness::Prepend(main, kDriver);
    ProgramHarness::SmallScreen(root);

    ProgramHarness::ProgramOptions options;
    options.environment = {{"VASTREL_LOG", "1"}, {"VASTREL_JOURNAL", (root / "journal.txt").string()}};
    const int code = ProgramHarness::RunProgram(root, options);
    const std::string out = ReadFile(root / "program.out");
    const std::string journal = ReadFile(root / "journal.txt");
    std::error_code ignored;
    fs::remove_all(root, ignored);
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;

    const std::vector<std::string> expected = {
        "barrel_a add_object ",
        "barrel_b add_object ",
        // The machine gun: 5 a round (its catalog damage); barrel_a bursts at 20 and stops nothing
        // more, so the rest of the burst reaches barrel_b.
        "barrel_a damage 5.00",
        "barrel_a damage 5.00",
        "barrel_a damage 5.00",
        "barrel_a damage 5.00",
        "barrel_a = burst 15.00,0.00,0.00",
        // What is left of it lies on its side where it stood.
        "barrel_a = shell 15.00,0.00,0.40",
        "barrel_b damage 5.00",
        "barrel_b damage 5.00",
        // Four rockets, one a second, each telling its target the launcher's damage.
        "barrel_b shot 40.00",
        "barrel_b shot 40.00",
        "barrel_b shot 40.00",
        // The money pickup on the car: 500 + 100.
        "driver money 600.00",
        "driver bonuses 3.00 3.00 7.00 3.00 true",
        "driver bonuses 2.00 3.00",
        "driver bonuses 0.00",
        "barrel_b shot 40.00",
        // 10 units a second at 0.02 s a turn: the car's side 4.2 units away is reached in the 22nd
        // step; the bolt into the sky grows its 20 units and is done.
        "driver bolt car 21.00 0.00 hit",
        "driver bolt sky 99.00 -1.00 none",
        "barrel_a release_all ",
        "barrel_b release_all ",
    };
    EXPECT_EQ(Lines(journal), expected) << journal;
}

} // namespace
