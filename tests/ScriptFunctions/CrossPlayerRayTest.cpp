// CrossPlayerRay from a script on a level with a crate in the level's tree: a clear segment answers
// true and the direction as given, a blocked one false and the unit direction; the player car is
// never in the way.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cstdio>
#include <string>

#include "Core/PScriptRegistry.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"
#include "ScriptFunctionsSetup.h"

namespace {

class CrossPlayerRayTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        (void)kScriptFunctionsRegistered;
        RaceWorldFixture::SetUp();
        if (HasFatalFailure()) return;
        // A crate whose mesh and collision box are one unit cube standing on the record's
        // position: it fills x 1.3 .. 2.3, y 1.9 .. 2.9, z 0 .. 1.
        MeshFile::Node node;
        node.name = "crate";
        const Vec3 corners[] = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 1}, {-0.5f, 0.5f, 1}};
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = corners[i];
            node.vertices.push_back(v);
            node.indices.push_back(static_cast<CPIndex>(i));
        }
        MeshFile::Shape box; // a unit box standing on the node's origin
        box.a = box.b = box.c = 1.0f;
        node.shapes = {box};
        MeshFile::Mesh mesh;
        mesh.nodes = {node};
        Put("Data/Meshes/crate.p3d", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::P3d));
        Put("Data/Meshes/crate.rdf", std::string("mesh = crate.p3d\n"));
        PutLayout("level1", {LayoutRecord("player", 40, 40), LayoutRecord("crate", 1.8f, 2.4f)});
        L = luaL_newstate();
        luaL_openlibs(L);
        RegisterScriptFunctions(L);
    }
    void TearDown() override {
        if (L) {
            Eval("DeleteLevel()");
            lua_close(L);
        }
        CPManagedObject::CollectGarbage();
        RaceWorldFixture::TearDown();
    }
    // The chunk's results joined by ",", "#n" first for their number.
    std::string Eval(const std::string& code) {
        const int top = lua_gettop(L);
        if (luaL_dostring(L, code.c_str()) != 0) {
            std::string error = lua_tostring(L, -1);
            lua_settop(L, top);
            return "error: " + error;
        }
        std::string out = "#" + std::to_string(lua_gettop(L) - top);
        for (int i = top + 1; i <= lua_gettop(L); ++i) {
            out += ",";
            if (lua_isboolean(L, i)) {
                out += lua_toboolean(L, i) ? "true" : "false";
            } else {
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, "%.4f", lua_tonumber(L, i));
                out += std::string(buffer) == "-0.0000" ? "0.0000" : buffer;
            }
        }
        lua_settop(L, top);
        return out;
    }

    lua_State* L = nullptr;
};

TEST_F(CrossPlayerRayTest, ABlockedSegmentAnswersFalseAndTheUnitDirection) {
    ASSERT_EQ(Eval("InitLevel('level1')"), "#0");
    ASSERT_NE(GetLevel(), nullptr);
    ASSERT_NE(GetLevel()->GetPlayerCar(), nullptr);
    // The player car stands across the last ray's path; it is not tested.
    CPPlayer* car = GetLevel()->GetPlayerCar();
    car->SetPosition(Vec3(20, 0, 0));
    car->UpdateTransform();
    const std::pair<const char*, const char*> cases[] = {
        // From (0, 0, 0.5) along (3, 4, 0): into the crate at 2.375 of the length 5.
        {"return CrossPlayerRay(0, 0, 0.5, 3, 4, 0)", "#4,false,0.6000,0.8000,0.0000"},
        // The same way for 2 only: short of the crate, clear, the direction as given.
        {"return CrossPlayerRay(0, 0, 0.5, 1.2, 1.6, 0)", "#4,true,1.2000,1.6000,0.0000"},
        // Over the crate.
        {"return CrossPlayerRay(0, 0, 1.5, 3, 4, 0)", "#4,true,3.0000,4.0000,0.0000"},
        // Through the player car.
        {"return CrossPlayerRay(15, 0, 0.5, 10, 0, 0)", "#4,true,10.0000,0.0000,0.0000"},
    };
    for (const auto& [code, expected] : cases) EXPECT_EQ(Eval(code), expected) << code;
}

} // namespace
