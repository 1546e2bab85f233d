// The program on a fixture root whose main script loads descriptions written here, calls the object
// functions on them and logs what it saw.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MeshSupport.h"
#include "ProgramHarness.h"
#include "Render/MeshFile.h"
#include "ScriptHarness.h"

namespace {

using namespace MeshFile;
using MeshSupport::BoxNode;

void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(ObjectFunctionsProgramTest, ScriptsLoadPlaceCopyAndFindObjects) {
    ScriptHarness::GameRoot root("app/objects");
    std::filesystem::create_directories("Data/Meshes");
    Mesh car;
    Node body = BoxNode("Car", {-1, -2, 0}, {1, 2, 1});
    body.pose.position = {1, 2, 3};
    body.body.a = 2;
    body.body.mass = 1000;
    Node wheel = BoxNode("Wheel", {-0.2f, -0.3f, -0.3f}, {0.2f, 0.3f, 0.3f});
    wheel.pose.position = {0.5f, 1, 0};
    body.children = {wheel};
    car.nodes = {body};
    Put("Data/Meshes/car.p3d", WriteMesh(car, MeshKind::P3d));
    std::vector<uint8_t> corrupt = WriteMesh(car, MeshKind::P3d);
    corrupt.resize(corrupt.size() / 2);
    Put("Data/Meshes/corrupt.p3d", corrupt);
    // The emitter names a parent the car lacks: dropped, and the log says so.
    std::ofstream("Data/Meshes/car.rdf") << "mesh = car.p3d\npsystem = smoke, nowhere, 0, 0, 0, 0.2, smoke_\n"
                                            "[car]\nscript = victim\n";
    std::ofstream("Data/Meshes/corrupt.rdf") << "mesh = corrupt.p3d\n";

    ProgramHarness::ProgramOptions options;
    options.environment = {{"VASTREL_LOG", "1"}};
    const int code = ProgramHarness::RunProgram(".", options);
    const std::string out = root.ReadFile("program.out");
    if (ProgramHarness::CouldNotStart(out)) GTEST_SKIP() << "no GL context here: " << out;
    ASSERT_EQ(code, 0) << out;

    const std::vector<std::string> expected = {
        "car object",
        "position 1.000 2.000 3.000",
        "wheel object 0.500 1.000 0.000",
        "nothing null",
        "moved 10.000 20.000 30.000",
        "moved box 10.000 20.000 30.350 9.000 18.000 29.700 11.000 22.000 31.000",
        "turned box 10.000 20.000 30.350 8.000 19.000 29.700 12.000 21.000 31.000",
        "rigid false 0.000",
        "nil 3.000 9.000 nil nil nil",
        "nil clone null",
        "clones object object 10.000 20.000 30.000",
        "arrow object",
        "corrupt null",
        "missing null",
        "gone nil nil nil",
        "kept 10.000 20.000 30.000",
        "quit",
    };
    std::vector<std::string> lines = root.ReadLines("objects.log");
    // The box at load time is the object's own, before any transform: not compared.
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("box ", 0) == 0; }),
        lines.end());
    EXPECT_EQ(lines, expected) << root.ReadFile("objects.log");
    // The car's script, named by its description, runs once the car is active.
    EXPECT_FALSE(root.ReadLines("victim.log").empty());
    // The refused mesh file is named on the log with its reason.
    EXPECT_NE(out.find("corrupt.p3d: file ends inside"), std::string::npos) << out;
    EXPECT_NE(out.find("car: psystem \"smoke\" dropped, no part \"nowhere\""), std::string::npos) << out;
}

} // namespace
