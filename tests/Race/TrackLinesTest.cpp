// Track lines: the ring laid over the points, the nearest-line search (states, ties, the square's
// edges, steps, the signed distance against a brute-force reference on a seeded ring), the stepping
// walk, and the ".trk" text read and written, with the bad files a data set can hold.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Core/PLog.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PTrackLines.h"
#include "ScriptHarness.h"

namespace {

// The signed distance of p from the infinite line through a and b, in doubles.
double SignedDistance(const Vec3& a, const Vec3& b, const Vec3& p) {
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y;
    return ((ax - bx) * p.y + (by - ay) * p.x - (ax * by - bx * ay)) / std::hypot(bx - ax, by - ay);
}

int IndexOf(CPTrackLines& lines, const CPTrackLine* line) {
    CPTrackLine* r = lines.GetHead();
    for (int i = 0; i <= lines.GetLineCount(); ++i, r = r->next)
        if (r == line) return i;
    return -1;
}

// Points along +X every `spacing`, `count` of them.
std::vector<Vec3> Straight(int count, float spacing) {
    std::vector<Vec3> points;
    for (int i = 0; i < count; ++i) points.emplace_back(i * spacing, 0.0f, 0.0f);
    return points;
}

TEST(TrackLines, RingClosesThroughTheHead) {
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build({{0, 0, 0}, {10, 0, 1}, {10, 10, 2}, {0, 10, 3}}));
    ASSERT_EQ(lines.GetLineCount(), 3);
    CPTrackLine* head = lines.GetHead();
    // The head runs from the last point back to the first; line k from point k to k + 1.
    EXPECT_EQ(head->start, Vec3(0, 10, 3));
    EXPECT_EQ(head->end, Vec3(0, 0, 0));
    EXPECT_EQ(head->centre, Vec3(0, 5, 1.5f));
    EXPECT_EQ(head->next->start, Vec3(0, 0, 0));
    EXPECT_EQ(head->next->end, Vec3(10, 0, 1));
    EXPECT_EQ(head->previous->end, Vec3(0, 10, 3));
    EXPECT_EQ(head->previous->next, head);
    EXPECT_EQ(lines.GetCurrentLine(), head->next);
    int visited = 0;
    CPTrackLine* r = head;
    do {
        EXPECT_EQ(r->next->previous, r);
        r = r->next;
        ++visited;
    } while (r != head && visited < 10);
    EXPECT_EQ(visited, 4);
}

TEST(TrackLines, AngleIsTheSegmentHeading) {
    struct Case {
        Vec3 to;
        float angle;
    };
    const Case cases[] = {
        {{10, 0, 0}, 0.0f},        {{0, 10, 0}, 1.5707964f},     {{0, -10, 0}, -1.5707964f},
        {{-10, 0, 0}, 3.1415927f}, {{10, -10, 0}, -0.78539819f},
    };
    for (const Case& c : cases) {
        CPTrackLines lines;
        // Line 0 runs from the origin to the case's point.
        ASSERT_TRUE(lines.Build({{0, 0, 0}, c.to, {-20, -30, 0}}));
        EXPECT_NEAR(lines.GetHead()->next->angle, c.angle, 1e-6f) << c.to.x << "," << c.to.y;
    }
}

TEST(TrackLines, BuildDropsRepeatsAndRefusesShortRings) {
    struct Case {
        const char* what;
        std::vector<Vec3> points;
        int lines; // -1: refused
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"no points", {}, -1},
        {"two points", {{0, 0, 0}, {1, 0, 0}}, -1},
        {"three points", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 2},
        {"repeats dropped", {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 2},
        {"closing repeat dropped", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}}, 2},
        {"two distinct back and forth", {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}}, -1},
        {"three after repeats", {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}}, -1},
        {"infinite", {{0, 0, 0}, {1, 0, 0}, {1, inf, 0}}, -1},
        {"not a number", {{0, 0, 0}, {1, 0, 0}, {1, 1, std::nanf("")}, {2, 2, 0}}, -1},
    };
    for (const Case& c : cases) {
        CPTrackLines lines;
        EXPECT_EQ(lines.Build(c.points), c.lines >= 0) << c.what;
        EXPECT_EQ(lines.GetLineCount(), std::max(c.lines, 0)) << c.what;
        // No segment of a built ring has zero length, so the signed distance never divides by 0.
        for (int i = 0; i <= lines.GetLineCount() && lines.GetHead(); ++i) {
            CPTrackLine* r = lines.Step(lines.GetHead(), i);
            EXPECT_FALSE(r->start == r->end) << c.what << " record " << i;
        }
    }
}

TEST(TrackLines, StepGoesRoundTheRingInBothDirections) {
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build(Straight(5, 10))); // head + 4 lines
    CPTrackLine* head = lines.GetHead();
    struct Case {
        int64_t n;
        int64_t index;
    };
    const Case cases[] = {{0, 0},
                          {1, 1},
                          {4, 4},
                          {5, 0},
                          {6, 1},
                          {-1, 4},
                          {-5, 0},
                          {-6, 4},
                          {2147483647LL, 2147483647LL % 5},
                          {-2147483648LL, 5 - 2147483648LL % 5},
                          {INT64_MAX, INT64_MAX % 5}};
    for (const Case& c : cases) EXPECT_EQ(IndexOf(lines, lines.Step(head, c.n)), c.index % 5) << c.n;
    // A record of another ring is not stepped from.
    CPTrackLines other;
    ASSERT_TRUE(other.Build(Straight(4, 1)));
    EXPECT_EQ(lines.Step(other.GetHead(), 2), other.GetHead());
}

TEST(TrackLines, SignedDistanceIsNegativeOnTheLeft) {
    // Found line from (0, 0) to (1, 0): left of it is negative, right positive.
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build({{0, 0, 0}, {1, 0, 0}, {1, -50, 0}, {0, -50, 0}}));
    struct Case {
        Vec3 point;
        float distance;
    };
    const Case cases[] = {{{0, 1, 0}, -1.0f}, {{0, -1, 0}, 1.0f}, {{0.5f, 3, 0}, -3.0f}};
    for (const Case& c : cases) {
        CPTrackLine* cursor = lines.GetHead()->next;
        float radius = 20.0f;
        const float angle = lines.FindClosestTrackLine(c.point, radius, 0, cursor);
        EXPECT_EQ(cursor, lines.GetHead()->next);
        EXPECT_FLOAT_EQ(radius, c.distance) << c.point.y;
        EXPECT_FLOAT_EQ(angle, 0.0f);
    }
}

TEST(TrackLines, ALineThatOnlyClimbsHasDistanceZero) {
    // From (0, 0, 0) to (0, 0, 5) the line has no direction on the ground: the search answers the
    // distance 0 instead of dividing by its zero ground length, and the climb's heading (pi / 2).
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build({{0, 0, 0}, {0, 0, 5}, {40, 0, 5}, {40, 40, 0}}));
    CPTrackLine* cursor = lines.GetHead()->next;
    float radius = 20.0f;
    const float angle = lines.FindClosestTrackLine({0, 1, 2}, radius, 0, cursor);
    ASSERT_EQ(cursor, lines.GetHead()->next);
    EXPECT_EQ(radius, 0.0f);
    EXPECT_FLOAT_EQ(angle, 1.5707964f);
}

TEST(TrackLines, ASlopeDoesNotTurnTheHeading) {
    // Lines rising 1 in 2 along +X and falling along -Y head 0 and -pi / 2 on the ground: the
    // slope is no part of the track's direction (with the 3D length the first would read 0.4636).
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build({{0, 0, 0}, {40, 0, 20}, {40, -40, 0}, {0, -40, 0}}));
    CPTrackLine* first = lines.GetHead()->next;
    float radius = 30.0f;
    CPTrackLine* cursor = first;
    EXPECT_FLOAT_EQ(lines.FindClosestTrackLine({20, 1, 10}, radius, 0, cursor), 0.0f);
    ASSERT_EQ(cursor, first);
    radius = 30.0f;
    cursor = first->next;
    EXPECT_FLOAT_EQ(lines.FindClosestTrackLine({41, -20, 10}, radius, 0, cursor), -1.5707964f);
    EXPECT_EQ(cursor, first->next);
}

TEST(TrackLines, SearchCases) {
    // Points every 10 along +X from 0 to 70, then back 40 beside it from 70 to 40: lines 0 to 6
    // along y = 0, line 7 across, lines 8 to 10 back along y = 40 (angle pi), and the head from
    // (40, 40) to the origin.
    std::vector<Vec3> points = Straight(8, 10);
    for (int i = 7; i >= 4; --i) points.emplace_back(i * 10.0f, 40.0f, 0.0f);
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build(points));
    ASSERT_EQ(lines.GetLineCount(), 11);
    CPTrackLine* head = lines.GetHead();
    const auto line = [&](int k) { return k < 0 ? head : lines.Step(head, k + 1); }; // -1: the head
    struct Case {
        const char* what;
        Vec3 point;
        int steps;
        int cursorLine; // where the search starts
        int foundLine;  // where the cursor and the current line end up
        int angleLine;  // whose angle and signed distance come back
    };
    const Case cases[] = {
        {"on the cursor's own line", {5, 1, 0}, 0, 0, 0, 0},
        {"forward of the cursor", {45, 1, 0}, 0, 0, 4, 4},
        {"backward of the cursor", {15, 1, 0}, 0, 5, 1, 1},
        {"walks forward several lines", {62, -1, 0}, 0, 3, 6, 6},
        {"nothing in the square keeps the cursor", {500, 500, 0}, 0, 2, 2, 2},
        // Steps go back from the found line for the angle; the cursor keeps the found line.
        {"two steps back", {66, 39, 0}, 2, 8, 8, 6},
        {"steps back past the head", {5, 1, 0}, 2, 0, 0, 10},
        {"negative steps do not move", {66, 39, 0}, -3, 8, 8, 8},
        {"the head takes part", {20, 20, 0}, 0, 0, -1, -1},
        // Only line 0's start (0, 0) lies in the square, on its edge: the edge counts.
        {"square edge is inside", {-20, 0, 0}, 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        CPTrackLine* cursor = line(c.cursorLine);
        float radius = 20.0f;
        const float angle = lines.FindClosestTrackLine(c.point, radius, c.steps, cursor);
        EXPECT_EQ(IndexOf(lines, cursor), IndexOf(lines, line(c.foundLine))) << c.what;
        EXPECT_EQ(lines.GetCurrentLine(), line(c.foundLine)) << c.what;
        const CPTrackLine* angled = line(c.angleLine);
        EXPECT_FLOAT_EQ(angle, angled->angle) << c.what;
        EXPECT_NEAR(radius, SignedDistance(angled->start, angled->end, c.point), 1e-3) << c.what;
    }
}

TEST(TrackLines, EqualDistancesKeepTheFirstMet) {
    // Lines 0 to 2 along y = 0 with centres (5, 0), (15, 0), (25, 0); the point (10, 3) is equally
    // far from the centres of lines 0 and 1.
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}, {30, 30, 0}, {0, 30, 0}}));
    CPTrackLine* line0 = lines.GetHead()->next;
    CPTrackLine* line1 = line0->next;
    CPTrackLine* line2 = line1->next;
    struct Case {
        const char* what;
        CPTrackLine* cursor;
        CPTrackLine* found;
    };
    const Case cases[] = {
        {"the cursor's line is met first", line0, line0},
        {"the cursor's line is met first (other one)", line1, line1},
        // From line 2 the backward walk meets line 1 one step before line 0.
        {"nearer in the walk stays", line2, line1},
    };
    for (const Case& c : cases) {
        CPTrackLine* cursor = c.cursor;
        float radius = 20.0f;
        lines.FindClosestTrackLine(Vec3(10, 3, 0), radius, 0, cursor);
        EXPECT_EQ(cursor, c.found) << c.what;
    }

    // In one step the backward line is examined before the forward one: from line 1, lines 0 and
    // 2 (centres (5, 0) and (25, 10)) are both 305 from (21, -7), line 1's centre 325.
    CPTrackLines bend;
    ASSERT_TRUE(bend.Build({{0, 0, 0}, {10, 0, 0}, {20, 20, 0}, {30, 0, 0}, {30, -100, 0}, {0, -100, 0}}));
    CPTrackLine* cursor = bend.GetHead()->next->next;
    float radius = 20.0f;
    bend.FindClosestTrackLine(Vec3(21, -7, 0), radius, 0, cursor);
    EXPECT_EQ(cursor, bend.GetHead()->next);
}

TEST(TrackLines, BestStartsAtOneHundredTimesTheRadius) {
    // Radius 20 around the origin: line 0 from (20, s) to (60, s) has its start in the square and
    // its centre (40, s) at squared distance 1600 + s^2; it replaces the far cursor only below 2000.
    struct Case {
        float s;
        bool taken;
    };
    const Case cases[] = {{19.0f, true}, {19.99f, true}, {20.0f, false}};
    for (const Case& c : cases) {
        CPTrackLines lines;
        ASSERT_TRUE(lines.Build({{20, c.s, 0}, {60, c.s, 0}, {60, 300, 0}, {300, 300, 0}, {300, -300, 0}}));
        CPTrackLine* line0 = lines.GetHead()->next;
        CPTrackLine* cursor = line0->next->next; // line 2, nowhere near
        float radius = 20.0f;
        lines.FindClosestTrackLine(Vec3(0, 0, 0), radius, 0, cursor);
        EXPECT_EQ(cursor == line0, c.taken) << c.s;
    }
}

TEST(TrackLines, SignedDistanceMatchesBruteForceOnASeededRing) {
    // A wobbly closed loop of 300 points; points near the loop are searched from a cursor kept
    // from the search before. Where the search finds the nearest centre by brute force within the
    // square, both the line and the signed distance must agree.
    std::mt19937 random(20261211);
    std::uniform_real_distribution<float> wobble(-1.5f, 1.5f);
    std::vector<Vec3> points;
    const int count = 300;
    const float r = 400.0f;
    for (int i = 0; i < count; ++i) {
        const float a = 6.2831853f * i / count;
        points.emplace_back((r + wobble(random)) * std::cos(a), (r + wobble(random)) * std::sin(a), 0.0f);
    }
    CPTrackLines lines;
    ASSERT_TRUE(lines.Build(points));
    std::uniform_real_distribution<float> offset(-6.0f, 6.0f);
    CPTrackLine* cursor = lines.GetHead()->next;
    int checked = 0;
    for (int step = 0; step < 2000; ++step) {
        const float a = 6.2831853f * step / 1000.0f; // twice round
        const float rr = r + offset(random);
        const Vec3 p(rr * std::cos(a), rr * std::sin(a), 0.0f);
        float radius = 20.0f;
        const float angle = lines.FindClosestTrackLine(p, radius, 0, cursor);
        // Brute force: the nearest centre over every record with an end in the square.
        const CPTrackLine* nearest = nullptr;
        double bestDistance = 1e30;
        CPTrackLine* rec = lines.GetHead();
        for (int i = 0; i <= lines.GetLineCount(); ++i, rec = rec->next) {
            const bool in = (std::fabs(rec->start.x - p.x) <= 20 && std::fabs(rec->start.y - p.y) <= 20) ||
                            (std::fabs(rec->end.x - p.x) <= 20 && std::fabs(rec->end.y - p.y) <= 20);
            const double d = std::pow(rec->centre.x - p.x, 2) + std::pow(rec->centre.y - p.y, 2);
            if (in && d < bestDistance) bestDistance = d, nearest = rec;
        }
        ASSERT_NE(nearest, nullptr);
        EXPECT_EQ(cursor, nearest) << "step " << step;
        EXPECT_EQ(angle, cursor->angle);
        EXPECT_NEAR(radius, SignedDistance(cursor->start, cursor->end, p), 1e-2) << "step " << step;
        // The loop runs anticlockwise: a point well outside it lies to its right (positive), one
        // well inside to its left.
        const double out = std::hypot(p.x, p.y) - std::hypot(cursor->centre.x, cursor->centre.y);
        if (std::fabs(out) > 4.0) EXPECT_EQ(radius > 0, out > 0) << "step " << step;
        ++checked;
    }
    EXPECT_EQ(checked, 2000);
}

TEST(TrackLines, ACursorFromElsewhereStartsAtTheCurrentLine) {
    CPTrackLines lines, other;
    ASSERT_TRUE(lines.Build(Straight(6, 10)));
    ASSERT_TRUE(other.Build(Straight(6, 10)));
    CPTrackLine* cursor = other.GetHead()->next;
    float radius = 20.0f;
    lines.FindClosestTrackLine(Vec3(25, 1, 0), radius, 0, cursor);
    EXPECT_TRUE(lines.Holds(cursor));
    EXPECT_FLOAT_EQ(cursor->centre.x, 25.0f);
    cursor = nullptr;
    radius = 20.0f;
    lines.FindClosestTrackLine(Vec3(35, 1, 0), radius, 0, cursor);
    EXPECT_FLOAT_EQ(cursor->centre.x, 35.0f);
}

TEST(TrackLinesFile, TextRoundTrips) {
    TrackLinesFile file;
    file.rings = {{{0, 0, 0}, {10.5f, -3.25f, 1e-7f}, {1.0f / 3.0f, 123456.78f, -0.0f}},
                  {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {-1, -2, -3}}};
    const std::string text = WriteTrackLinesText(file);
    TrackLinesFile back;
    ASSERT_TRUE(ReadTrackLinesText(text, back));
    ASSERT_EQ(back.rings.size(), file.rings.size());
    for (size_t i = 0; i < file.rings.size(); ++i) {
        ASSERT_EQ(back.rings[i].size(), file.rings[i].size());
        for (size_t k = 0; k < file.rings[i].size(); ++k) EXPECT_EQ(back.rings[i][k], file.rings[i][k]);
    }
    EXPECT_EQ(WriteTrackLinesText(back), text);
}

TEST(TrackLinesFile, BadText) {
    struct Case {
        const char* what;
        const char* text;
        bool read;
        std::vector<size_t> ringSizes;
    };
    const Case cases[] = {
        {"empty", "", false, {}},
        {"only blanks", "\n  \n\n", false, {}},
        {"one empty ring", "ring\n", true, {0}},
        {"points before a ring open the first", "1 2 3\n4 5 6\n", true, {2}},
        {"non-number skipped", "ring\n1 2 3\nx 2 3\n4 5 6\n1 2 3abc\n", true, {2}},
        {"too few numbers", "ring\n1 2\n4 5 6\n", true, {1}},
        {"too many numbers", "ring\n1 2 3 4\n4 5 6\n", true, {1}},
        {"non-finite", "ring\ninf 0 0\n0 nan 0\n0 0 1e40\n7 8 9\n", true, {1}},
        {"fourth ring ignored", "ring\n1 1 1\nring\n2 2 2\nring\n3 3 3\nring\n4 4 4\n5 5 5\n", true, {1, 1, 1}},
        {"windows line ends", "ring\r\n1 2 3\r\n4 5 6\r\n", true, {2}},
    };
    for (const Case& c : cases) {
        TrackLinesFile file;
        EXPECT_EQ(ReadTrackLinesText(c.text, file), c.read) << c.what;
        ASSERT_EQ(file.rings.size(), c.ringSizes.size()) << c.what;
        for (size_t i = 0; i < c.ringSizes.size(); ++i) EXPECT_EQ(file.rings[i].size(), c.ringSizes[i]) << c.what;
    }
}

// The level reads "Data\Levels\<name>.trk" at the end of its load: a missing file gives none, a
// ring that cannot be built leaves its set empty.
TEST(TrackLinesFile, LevelLoadsTheFileBesideTheLayout) {
    struct Case {
        const char* what;
        const char* text; // null: no file
        int lines;        // of the first set; -1 none
    };
    const Case cases[] = {
        {"no file", nullptr, -1},
        {"empty file", "", -1},
        {"first ring too short", "ring\n0 0 0\n1 0 0\nring\n0 0 0\n1 0 0\n1 1 0\n", -1},
        {"a ring", "ring\n0 0 0\n10 0 0\n20 0 0\n20 40 0\n0 40 0\n", 4},
    };
    for (const Case& c : cases) {
        ScriptHarness::GameRoot root("");
        std::filesystem::create_directories("Data/Levels");
        if (c.text) std::ofstream("Data/Levels/track7.trk", std::ios::binary) << c.text;
        InvalidatePathCache();
        CPRefPtr<CPTrackLines> sets[TrackLinesFile::kMaxRings];
        LoadLevelTrackLines("track7", sets);
        EXPECT_EQ(sets[0] ? sets[0]->GetLineCount() : -1, c.lines) << c.what;
        if (std::string(c.what) == "first ring too short") {
            ASSERT_TRUE(sets[1]) << c.what;
            EXPECT_EQ(sets[1]->GetLineCount(), 2);
        }
        for (auto& s : sets) s = nullptr;
        CPManagedObject::CollectGarbage();
    }
}

std::string RunTool(const std::string& arguments, int& status) {
    const std::string command = std::string(VASTREL_BINARY_DIR) + "/bin/mklevel " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    status = pipe ? pclose(pipe) : -1;
    return output;
}

// The level tool writes the rings of its text form to the ".trk" beside the layout, lists them
// back, and refuses rings the game could not build.
TEST(TrackLinesFile, LevelToolWritesTheRingsBesideTheLayout) {
    const std::string dir = ::testing::TempDir() + "/trk-tool";
    std::filesystem::create_directories(dir);
    const std::string text = dir + "/layout.txt", lvl = dir + "/layout.lvl", trk = dir + "/layout.trk";
    std::filesystem::remove(trk);
    std::ofstream(text) << "object player 0 0 0 0 0 0 1 1 1 1\n"
                           "ring   # the road\n"
                           "point 0 0 0\npoint 10 0 0.5\npoint 10 40 0\n"
                           "ring\npoint 1 1 1\npoint 2 2 2\npoint 3 1 1\n";
    int status = 0;
    RunTool(text + " " + lvl, status);
    ASSERT_EQ(status, 0);
    std::ifstream in(trk, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TrackLinesFile file;
    ASSERT_TRUE(ReadTrackLinesText(written, file));
    ASSERT_EQ(file.rings.size(), 2u);
    ASSERT_EQ(file.rings[0].size(), 3u);
    EXPECT_EQ(file.rings[0][1], Vec3(10, 0, 0.5f));
    const std::string listing = RunTool("--list " + lvl, status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find("ring\npoint 0 0 0\npoint 10 0 0.5\npoint 10 40 0\nring\npoint 1 1 1\n"), std::string::npos)
        << listing;

    // A layout without rings writes no ".trk".
    std::filesystem::remove(trk);
    std::ofstream(text) << "object player 0 0 0 0 0 0 1 1 1 1\n";
    RunTool(text + " " + lvl, status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(trk));

    const char* bad[] = {
        "point 1 2 3\n",                                   // no ring open
        "ring\npoint 1 2\n",                               // too few numbers
        "ring\npoint 0 0 0\npoint 1 0 0\npoint 1 nan 0\n", // not finite
        "ring\npoint 0 0 0\npoint 1 0 0\npoint 0 0 0\n",   // two distinct points
        "ring\nring\nring\nring\n",                        // a fourth ring
    };
    for (const char* b : bad) {
        std::ofstream(text) << b;
        RunTool(text + " " + lvl, status);
        EXPECT_NE(status, 0) << b;
    }
}

} // namespace
