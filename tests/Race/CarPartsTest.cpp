// The visible parts of a car by its upgrade levels: every flame, wing, engine and rear-wheel part is
// hidden first and "w2" shown, then each level shows its own; a model without "flare01" is left as
// it is. The level loader hands the player's levels from the game data and the rival's from the
// level record, each in the order wing (slot 3), engine (slot 1), rear wheel (slot 2).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Race/CarParts.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "Race/PReplay.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"

namespace {

const char* const kParts[] = {"flare",  "flare01", "flare02", "flare03", "flare04", "flare05", "flare06", "flare07",
                              "wings1", "wings2",  "wings3",  "engine1", "engine2", "engine3", "w2",      "w2_1",
                              "w2_2",   "w2_3",    "roll",    "roll1",   "roll2",   "roll3"};

// The parts of the car shown, in the order of the list above.
std::string Shown(CPGameObject& car) {
    std::string out;
    for (const char* name : kParts)
        if (CPRefPtr<CPGameObject> part = car.FindChild(name); part && part->IsVisible())
            out += std::string(out.empty() ? "" : " ") + name;
    return out;
}

// Every part shown at first; the engines one level deeper, under "body".
CPRefPtr<CPGameObject> BuildCar(bool withFlare01) {
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    CPRefPtr<CPGameObject> body(new CPGameObject("body"));
    car->AddChild(body);
    for (const char* name : kParts) {
        if (!withFlare01 && std::string(name) == "flare01") continue;
        CPRefPtr<CPGameObject> part(new CPGameObject(name));
        (std::string(name).rfind("engine", 0) == 0 ? body : car)->AddChild(part);
    }
    return car;
}

TEST(CarPartsTest, EachLevelShowsItsPartsAfterEveryPartIsHidden) {
    CPRefPtr<CPGameObject> car = BuildCar(true);
    const struct {
        int wing, engine, rear;
        const char* shown;
    } cases[] = {
        {1, 1, 1, "wings1 engine1 w2_1 roll1"},
        {2, 2, 2, "wings1 wings2 engine1 engine2 w2_2 roll2"},
        {3, 3, 3, "wings2 wings3 engine1 engine2 engine3 w2_3 roll3"},
        // Wing 3, engine 1, rear wheel 2: the arguments are not interchangeable.
        {3, 1, 2, "wings2 wings3 engine1 w2_2 roll2"},
        {1, 3, 0, "wings1 engine1 engine2 engine3 w2 roll"},
        // Out of range: everything hidden but "w2"; "roll" is only hidden by a rear wheel 1 to 3.
        {0, 0, 0, "w2 roll"},
        {4, -1, 4, "w2 roll"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.wing) + " " + std::to_string(c.engine) + " " + std::to_string(c.rear));
        for (const char* name : kParts) car->FindChild(name)->SetVisible(true);
        SelectCarParts(car.Get(), c.wing, c.engine, c.rear);
        EXPECT_EQ(Shown(*car), c.shown);
    }
    // Without "flare01" nothing is touched.
    CPRefPtr<CPGameObject> plain = BuildCar(false);
    SelectCarParts(plain.Get(), 1, 1, 1);
    EXPECT_EQ(Shown(*plain), "flare flare02 flare03 flare04 flare05 flare06 flare07 wings1 wings2 wings3 engine1 "
                             "engine2 engine3 w2 w2_1 w2_2 w2_3 roll roll1 roll2 roll3");
}

// A car model with every part, each a node of its own.
class CarPartsLevelTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        RaceWorldFixture::SetUp();
        MeshFile::Mesh mesh;
        auto node = [](const char* name) {
            MeshFile::Node n;
            n.name = name;
            for (int i = 0; i < 3; ++i) {
                CPVertex v;
                v.position = Vec3(float(i == 1), float(i == 2), 0);
                n.vertices.push_back(v);
                n.indices.push_back(static_cast<CPIndex>(i));
            }
            return n;
        };
        mesh.nodes.push_back(node("wrong"));
        mesh.nodes[0].boxes = {MeshFile::CollisionRecord::Make({0, 0, 0.5f}, {0.5f, 0.5f, 0.5f})};
        for (const char* name : kParts) mesh.nodes.push_back(node(name));
        Put("Data/Meshes/wrong.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
    }
};

TEST_F(CarPartsLevelTest, TheLoaderGivesThePlayerAndTheRivalTheirOwnLevels) {
    CPGameData data;
    // Slot 1 engine, slot 2 rear wheel, slot 3 wing.
    data.upgrades[1] = 2;
    data.upgrades[2] = 3;
    data.upgrades[3] = 1;
    CPLevelRecord& record = data.levelRecords[3];
    record.name = "rival";
    record.parts[1] = 3;
    record.parts[2] = 1;
    record.parts[3] = 2;
    PutLayout("level4", {LayoutRecord("player", 0)});
    CPRefPtr<CPLevel> level(new CPLevel);
    ASSERT_TRUE(level->Load("level4"));
    ASSERT_NE(level->GetPlayerCar(), nullptr);
    EXPECT_EQ(Shown(*level->GetPlayerCar()), "wings1 engine1 engine2 w2_3 roll3");
    CPGameObject* rival = level->GetRivalPlayback().GetModel();
    ASSERT_NE(rival, nullptr);
    EXPECT_EQ(Shown(*rival), "wings1 wings2 engine1 engine2 engine3 w2_1 roll1");
    level->StopLevel();
}

} // namespace
