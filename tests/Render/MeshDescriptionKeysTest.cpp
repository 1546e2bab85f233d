// The description keys that give a model what other parts of the game read: its line key points and
// line colour, its XML description, and a part's script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Render/MeshFile.h"
#include "Render/PAnimationManager.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/RenderTestSupport.h"

namespace {

std::vector<uint8_t> Text(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

MeshFile::Node Triangle(const std::string& name) {
    MeshFile::Node node;
    node.name = name;
    for (int i = 0; i < 3; ++i) {
        CPVertex v;
        v.position = Vec3(float(i == 1), float(i == 2), 0);
        node.vertices.push_back(v);
        node.indices.push_back(static_cast<CPIndex>(i));
    }
    return node;
}

class MeshDescriptionKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        MeshFile::Mesh mesh;
        MeshFile::Node crate = Triangle("crate");
        crate.children = {Triangle("lid")};
        mesh.nodes = {crate};
        root_.Put("Data/Meshes/crate.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
    }
    void TearDown() override {
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    CPRefPtr<CPGameObject> LoadWith(const std::string& description) {
        root_.Put("Data/Meshes/crate.rdf", Text(description));
        return meshes_.LoadRenderObject("crate.rdf", 20);
    }

    RenderSupport::ScopedGameRoot root_;
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
};

// Key points in file order wherever they stand, the colour as hexadecimal ARGB (the last line wins),
// the defaults without them: no points and FF4E4E4E.
TEST_F(MeshDescriptionKeysTest, LineKeyPointsAndColour) {
    const struct {
        const char* text;
        std::vector<Vec3> points;
        uint32_t colour;
    } cases[] = {
        {"m = crate.msh\n", {}, 0xFF4E4E4Eu},
        {"m = crate.msh\nlinekeypoint = 1,2,3\n[lid]\nLineKeyPoint = -4.5, 0.25, 7\nlinecolor = 80FF0010\n",
         {{1, 2, 3}, {-4.5f, 0.25f, 7}},
         0x80FF0010u},
        {"m = crate.msh\nlinecolor = FF102030\nlinekeypoint = 0,0,0\nlinecolor = 1a2b3c4d\n", {{0, 0, 0}}, 0x1A2B3C4Du},
    };
    for (const auto& c : cases) {
        CPRefPtr<CPGameObject> crate = LoadWith(c.text);
        ASSERT_TRUE(crate) << c.text;
        EXPECT_EQ(crate->GetLineKeyPoints(), c.points) << c.text;
        EXPECT_EQ(crate->GetLineColour(), c.colour) << c.text;
        // The root's alone: the part keeps the defaults.
        CPRefPtr<CPGameObject> lid = crate->FindChild("lid");
        ASSERT_TRUE(lid);
        EXPECT_TRUE(lid->GetLineKeyPoints().empty());
        EXPECT_EQ(lid->GetLineColour(), 0xFF4E4E4Eu);
    }
}

// "description" names the root's XML description in Data\Descriptions (lower-cased like every
// value), read at once; inside a section it is still the root's.
TEST_F(MeshDescriptionKeysTest, DescriptionNamesTheRootsXmlDescription) {
    root_.Put("Data/Descriptions/crate.xml", Text("<crate><hinge angle=\"90\"/></crate>\n"));
    for (const char* text :
         {"m = crate.msh\ndescription = Crate.XML\n", "m = crate.msh\n[lid]\ntype = 1\ndescription = crate.xml\n"}) {
        CPRefPtr<CPGameObject> crate = LoadWith(text);
        ASSERT_TRUE(crate) << text;
        EXPECT_EQ(crate->GetDescriptionName(), "crate.xml") << text;
        ASSERT_NE(crate->GetDescription().RootElement(), nullptr) << text;
        EXPECT_STREQ(crate->GetDescription().RootElement()->Value(), "crate") << text;
        EXPECT_EQ(crate->FindChild("lid")->GetDescriptionName(), "") << text;
    }
    CPRefPtr<CPGameObject> plain = LoadWith("m = crate.msh\n");
    EXPECT_EQ(plain->GetDescriptionName(), "");
    EXPECT_EQ(plain->GetDescription().RootElement(), nullptr);
}

// "script" in a part's section gives that part the listed script of that name; a name not listed
// gives none, and so does every part without the key.
TEST_F(MeshDescriptionKeysTest, ScriptKeyGivesThePartItsScript) {
    root_.Put("Data/Scripts/list.dat", Text("hinge t_object\n"));
    root_.Put("Data/Scripts/hinge.lua", Text("-- only its name is used\n"));
    CPScriptManager scripts;
    ASSERT_TRUE(scripts.LoadList());
    CPRefPtr<CPLuaScript> hinge = scripts.GetScript("hinge");
    ASSERT_TRUE(hinge);
    const struct {
        const char* text;
        bool scripted;
    } cases[] = {
        {"m = crate.msh\n[lid]\nscript = Hinge\n", true},
        {"m = crate.msh\n[lid]\nscript = door\n", false},
        {"m = crate.msh\nscript = hinge\n", false}, // before any section: ignored
    };
    for (const auto& c : cases) {
        CPRefPtr<CPGameObject> crate = LoadWith(c.text);
        ASSERT_TRUE(crate) << c.text;
        CPRefPtr<CPGameObject> lid = crate->FindChild("lid");
        ASSERT_TRUE(lid) << c.text;
        EXPECT_EQ(lid->GetScriptPointer(), c.scripted ? hinge.Get() : nullptr) << c.text;
        EXPECT_EQ(crate->GetScriptPointer(), nullptr) << c.text;
        lid->SetScript(nullptr);
    }
}

} // namespace
