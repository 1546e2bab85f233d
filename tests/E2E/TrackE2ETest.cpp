// The track and rival functions in the real program: the demo root with the fixture's scripts
// ("main" races level 1 and logs every function's results each turn, "jeep" holds the throttle)
// and a ring of the test's own as level 1's track lines. The test reads the log back and
// recomputes each turn's results from the ring and the car's logged position; with the game's
// empty car list the side and nearest-car functions answer from the player car alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramHarness.h"
#include "Race/PTrackLines.h"

namespace fs = std::filesystem;

namespace {

using ProgramHarness::ReadFile;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// A weaving line along the road, every 7 m, and back 35 m beside it every 9 m.
std::vector<Vec3> FixtureRing() {
    std::vector<Vec3> points;
    for (float x = -50.0f; x <= 650.0f; x += 7.0f) points.emplace_back(x, 2.5f * std::sin(x / 23.0f), 0.0f);
    for (float x = 650.0f; x >= -50.0f; x -= 9.0f) points.emplace_back(x, 35.0f, 0.0f);
    return points;
}

// The results a logged field should hold: "n:" and the values, numbers within a tolerance.
void ExpectResults(const std::string& field, const std::vector<std::string>& expected, int turn, const char* what) {
    const size_t colon = field.find(':');
    ASSERT_NE(colon, std::string::npos) << what;
    const std::vector<std::string> got =
        colon + 1 < field.size() ? Split(field.substr(colon + 1), ',') : std::vector<std::string>();
    ASSERT_EQ(field.substr(0, colon), std::to_string(expected.size())) << what << " turn " << turn << ": " << field;
    ASSERT_EQ(got.size(), expected.size()) << what << " turn " << turn << ": " << field;
    for (size_t i = 0; i < expected.size(); ++i) {
        char* end = nullptr;
        const double want = std::strtod(expected[i].c_str(), &end);
        if (end != expected[i].c_str() && *end == '\0') {
            EXPECT_NEAR(std::strtod(got[i].c_str(), nullptr), want, 1e-4) << what << " turn " << turn << ": " << field;
        } else {
            EXPECT_EQ(got[i], expected[i]) << what << " turn " << turn << ": " << field;
        }
    }
}

std::string Num(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

TEST(TrackE2E, EveryTrackAndRivalResultOfADrivenRun) {
    char pattern[] = "/tmp/vastrel-track-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const fs::path root = pattern;
    ASSERT_TRUE(ProgramHarness::MakeDemoRoot(root));
    // The demo's ring is replaced by the fixture's, and its scripts by the fixture's.
    ASSERT_TRUE(fs::exists(root / "Data/Levels/level1.trk"));
    TrackLinesFile ring;
    ring.rings = {FixtureRing()};
    ASSERT_TRUE(WriteTrackLinesFile((root / "Data/Levels/level1.trk").string(), ring));
    fs::remove_all(root / "Data/Scripts");
    fs::copy(fs::path(VASTREL_SOURCE_DIR) / "tests/fixtures/track", root,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ProgramHarness::SmallScreen(root);

    const int code = ProgramHarness::RunProgram(root);
    const std::string output = ReadFile(root / "program.out");
    const std::string log = ReadFile(root / "track.log");
    std::error_code ignored;
    fs::remove_all(root, ignored);
    if (ProgramHarness::CouldNotStart(output)) GTEST_SKIP() << "no GL context here: " << output;
    ASSERT_EQ(code, 0) << output;

    // The game's own copy of the ring, searched in the same order as the script's calls.
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build(FixtureRing()));
    CPTrackLine* cursor = lines.GetCurrentLine(); // where the first call seats the cursor
    int turns = 0;
    float firstX = 0.0f, lastX = 0.0f;
    bool sawAngleNearZero = false;
    for (const std::string& line : Split(log, '\n')) {
        if (line.empty()) continue;
        const std::vector<std::string> f = Split(line, '|');
        ASSERT_EQ(f.size(), 20u) << line;
        const int turn = std::atoi(f[0].c_str() + 5);
        Vec3 p;
        ASSERT_EQ(std::sscanf(f[1].c_str(), "%f %f %f", &p.x, &p.y, &p.z), 3) << line;
        const int n = std::atoi(f[2].c_str() + 2), offset = std::atoi(f[3].c_str() + 7);
        if (turns++ == 0) firstX = p.x;
        lastX = p.x;

        // GetPlayerSplineAngle: the heading, and the angle from the kept cursor in 0 to 2 pi.
        float radius = 20.0f;
        float angle = lines.FindClosestTrackLine(p, radius, 0, cursor);
        while (angle > 6.2831853f) angle -= 6.2831853f;
        while (angle < 0.0f) angle += 6.2831853f;
        const std::vector<std::string> spline = Split(f[4].substr(2), ',');
        ASSERT_EQ(f[4].substr(0, 2), "2:") << line;
        ASSERT_EQ(spline.size(), 2u) << line;
        EXPECT_NEAR(std::strtod(spline[1].c_str(), nullptr), angle, 1e-4) << "turn " << turn;
        sawAngleNearZero = sawAngleNearZero || angle < 0.2f || angle > 6.1f;

        ExpectResults(f[5], {"1"}, turn, "GetSplineLineCount");
        const CPTrackLine* point = lines.Step(lines.GetHead(), std::max(n, 0));
        ExpectResults(f[6], {Num(point->centre.x), Num(point->centre.y), Num(point->centre.z)}, turn,
                      "GetSplineLinePoint");

        // GetClosestLineCenter: the first line within 20 from the head's next, moved by the offset.
        CPTrackLine* found = nullptr;
        for (CPTrackLine* l = lines.GetHead()->next; l != lines.GetHead() && !found; l = l->next)
            if ((l->centre.x - p.x) * (l->centre.x - p.x) + (l->centre.y - p.y) * (l->centre.y - p.y) < 400.0f)
                found = l;
        if (found) {
            CPTrackLine* record = found;
            for (int k = offset; k < 0; ++k) record = record->next;
            for (int k = offset; k > 0; --k) record = record->previous;
            CPTrackLine* at = record;
            float r = 20.0f;
            const float a = lines.FindClosestTrackLine(record->centre, r, 0, at);
            ExpectResults(f[7], {Num(record->centre.x), Num(record->centre.y), "0.5", Num(a - 1.5707964f)}, turn,
                          "GetClosestLineCenter");
        } else {
            ExpectResults(f[7], {}, turn, "GetClosestLineCenter");
        }

        ExpectResults(f[8], {"true", "0", "0", "5"}, turn, "CrossPlayerRay"); // nothing above the car
        const float ex = p.x + 2.0f, ey = p.y + 2.0f;
        const bool inside = std::fabs(ex) <= 1480.0f && std::fabs(ey) <= 1480.0f;
        ExpectResults(f[9], {inside ? "true" : "false", Num(ex), Num(ey)}, turn, "GetPositionForEnemy");
        ExpectResults(f[10], {"''", "false", Num(p.x), Num(p.y)}, turn, "GetEnemyType"); // no mission lines
        ExpectResults(f[11], {"false"}, turn, "IsEnemySourceNear");
        ExpectResults(f[12], {}, turn, "AddEnemy");
        ExpectResults(f[13], {"3"}, turn, "GetAICount");
        ExpectResults(f[14], {}, turn, "GetEnemyData");
        ExpectResults(f[15], {"0", "table0"}, turn, "GetAIPositions");
        // No further cars: no side has a car left, and the nearest Sunward car is the player's own
        // (class 9), the Moonward side has none.
        ExpectResults(f[16], {"0", "0"}, turn, "IsDarkLeft, IsLightLeft");
        ExpectResults(f[17], {Num(p.x), Num(p.y), Num(p.z), "object", "3"}, turn, "GetNearestSunwardPlayer");
        ExpectResults(f[18], {Num(p.x), Num(p.y), Num(p.z), "object", "4"}, turn, "GetNearestSunwardPlayer wide");
        ExpectResults(f[19], {}, turn, "GetNearestMoonwardPlayer");
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GE(turns, 200);
    // The car drove along the road, so the search followed it over many lines.
    EXPECT_GT(lastX - firstX, 30.0f);
    EXPECT_TRUE(sawAngleNearZero);
}

} // namespace
