// The description loader on the null device: the .rdf grammar, building from mesh, animated-mesh
// and key-frame files, part lines and their parent rules, sections, static meshes, emitter objects.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PKernel.h"
#include "Core/PLuaScript.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Particles/PParticleSystem.h"
#include "Platform/NullDevice.h"
#include "Race/PPhysicData.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimation.h"
#include "Render/PAnimationManager.h"
#include "Render/PEffect.h"
#include "Render/PLight.h"
#include "Render/PMaterial.h"
#include "Render/PMaterialManager.h"
#include "Render/PMeshManager.h"
#include "Render/PPartAnimation.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Render/PTextureManager.h"
#include "Render/RdfDescription.h"
#include "Render/RenderTestSupport.h"

using namespace MeshFile;

namespace {

std::vector<uint8_t> Text(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

CPVertex Vertex(float x, float y, float z) {
    CPVertex v;
    v.position = {x, y, z};
    v.normal = {0, 0, 1};
    v.diffuse = 0x12345678u;
    return v;
}

Node Quad(const std::string& name, float x0 = 0, float y0 = 0) {
    Node node;
    node.name = name;
    node.vertices = {Vertex(x0, y0, 0), Vertex(x0 + 1, y0, 0), Vertex(x0 + 1, y0 + 1, 0), Vertex(x0, y0 + 1, 0)};
    node.indices = {0, 1, 2, 0, 2, 3};
    return node;
}

Shape BoxShape(float a, float b, float c, Vec3 at, float mass) {
    Shape s;
    s.a = a;
    s.b = b;
    s.c = c;
    s.position = at;
    s.mass = mass;
    return s;
}

AnimatedNode AnimatedQuad(const std::string& name, float frameTime, int frames, float lift) {
    AnimatedNode node;
    node.name = name;
    node.animation.frameTime = frameTime;
    for (int k = 0; k < frames; ++k) {
        Frame frame;
        frame.vertices = {Vertex(0, 0, lift + k), Vertex(2, 0, lift), Vertex(0, 3, lift)};
        frame.indices = {0, 1, 2};
        node.animation.frames.push_back(frame);
    }
    return node;
}

class TestParts : public CPMeshPartMaker {
public:
    CPPhysicShapes* MakePhysicData(CPGameObject& object) override {
        CPRefPtr<CPPhysicData> data(new CPPhysicData(&object));
        object.SetPhysicData(data);
        return data.Get();
    }
    CPRefPtr<CPManagedObject> MakeParticleSystem(CPGameObject* owner, const std::vector<std::string>& names,
                                                 float interval) override {
        CPRefPtr<CPParticleSystem> system(new CPParticleSystem(owner, names));
        system->interval = interval;
        return system;
    }
};

class MeshManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_weather = 1;
        meshes_.SetPartMaker(&parts_);
    }
    void TearDown() override {
        if (render_) {
            if (render_->GetDevice()) render_->Stop();
            render_.Reset();
        }
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
    void StartRender() {
        render_ = CPRefPtr<CPRender>(new CPRender());
        auto backend = std::make_unique<Platform::NullBackend>();
        backend_ = backend.get();
        render_->SetBackend(std::move(backend));
        ASSERT_TRUE(render_->Start());
    }
    void PutMesh(const std::string& file, const Mesh& mesh) {
        root_.Put("Data/Meshes/" + file, WriteMesh(mesh, KindOfFile(file)));
    }
    void PutRdf(const std::string& file, const std::string& text) { root_.Put("Data/Meshes/" + file, Text(text)); }
    CPRefPtr<CPGameObject> Load(const std::string& name, int offset = 20) {
        return meshes_.LoadRenderObject(name, offset);
    }
    static CPRenderObject* MeshOf(const CPRefPtr<CPGameObject>& o) {
        return dynamic_cast<CPRenderObject*>(o->GetRenderPart().Get());
    }
    static CPPhysicData* PhysicsOf(const CPRefPtr<CPGameObject>& o) {
        return dynamic_cast<CPPhysicData*>(o->GetPhysicData().Get());
    }

    RenderSupport::ScopedGameRoot root_;
    CPAnimationManager animations_;
    CPMaterialManager materials_;
    CPMeshManager meshes_;
    TestParts parts_;
    CPRefPtr<CPRender> render_;
    Platform::NullBackend* backend_ = nullptr;
};

TEST(RdfGrammar, MainLineSectionsAndFileLevelKeys) {
    const std::string text = "Mesh = Crate.P3D\n"
                             "orphan = 1\n"
                             "[Lid]\n"
                             "Type = 4\n"
                             "sprite = glow,0,0,1,0.5,\n"
                             "no equals sign here\n"
                             "[other]\n"
                             "type = 1\n"
                             "[LID]\n"
                             "visible = 0\n"
                             "type = 6\n"
                             "// type = 9\n"
                             "linecolor = FF102030\n"
                             "linecolor = FF405060\n"
                             "light = a\n"
                             "light = b\n";
    const RdfDescription rdf = ParseRdf(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(rdf.mainValue, "Crate.P3D");
    ASSERT_EQ(rdf.sections.size(), 2u);
    const RdfSection& lid = rdf.Section("lid");
    EXPECT_EQ(RdfValue(lid, "type"), "6");
    EXPECT_EQ(RdfValue(lid, "visible"), "0");
    EXPECT_EQ(lid.count("orphan"), 0u);
    EXPECT_EQ(rdf.sprites, std::vector<std::string>{"glow,0,0,1,0.5,"});
    EXPECT_EQ(rdf.lights, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rdf.lineColor, "ff405060");
    EXPECT_TRUE(rdf.Section("missing").empty());

    const std::string headerFirst = "[lid]\ntype = 2\n";
    const RdfDescription header = ParseRdf(headerFirst.data(), static_cast<int>(headerFirst.size()));
    EXPECT_EQ(header.mainValue, "");
    EXPECT_TRUE(header.sections.empty());
}

// Key and value split at the first "=" outside quotes; quotes group and go, blanks at the ends go,
// a line without "=" is a key with an empty value.
TEST(RdfGrammar, SectionValuesAreReadAsTokens) {
    const struct {
        const char* line;
        const char* key;
        const char* value;
    } cases[] = {
        {"type = \"4\"", "type", "4"},
        {"Visible=\"0\"", "visible", "0"},
        {"param = \"a = b\"", "param", "a = b"},
        {"param = a = b", "param", "a = b"},
        {"\"par=am\" = 1", "par=am", "1"},
        {"param = \"say \"\"Hi\"\"\"", "param", "say \"hi\""},
        {"param = \"  padded  \"", "param", "padded"},
        {"script", "script", ""},
        {"script =", "script", ""},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("m = x\n[s]\n") + c.line + "\n";
        const RdfDescription rdf = ParseRdf(text.data(), static_cast<int>(text.size()));
        const RdfSection& s = rdf.Section("s");
        ASSERT_EQ(s.count(c.key), 1u) << c.line;
        EXPECT_EQ(RdfValue(s, c.key), c.value) << c.line;
    }
}

TEST_F(MeshManagerTest, NodeCountGivesTheNodeOrAGroup) {
    Mesh one;
    one.nodes = {Quad("Body")};
    PutMesh("one.msh", one);
    Mesh three;
    three.nodes = {Quad("a"), Quad("b"), Quad("c")};
    PutMesh("three.msh", three);
    PutMesh("none.msh", Mesh{});
    PutRdf("one.rdf", "m=one.msh\n");
    PutRdf("three.rdf", "m=three.msh\n");
    PutRdf("none.rdf", "m=none.msh\n");

    CPRefPtr<CPGameObject> single = Load("one.rdf");
    ASSERT_TRUE(single);
    EXPECT_EQ(single->GetName(), "body");
    EXPECT_EQ(single->GetRenderType(), CPGameObject::RenderMesh);
    EXPECT_EQ(single->GetSourceDescription(), "one.rdf");
    EXPECT_EQ(meshes_.GetCurrentMeshName(), "one.msh");

    CPRefPtr<CPGameObject> group = Load("three.rdf");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->GetName(), "three.rdf");
    EXPECT_EQ(group->GetRenderType(), CPGameObject::RenderNone);
    ASSERT_EQ(group->GetChildren().size(), 3u);
    EXPECT_EQ(group->GetChildren()[2]->GetName(), "c");

    CPRefPtr<CPGameObject> empty = Load("none.rdf");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->GetChildren().empty());
}

TEST_F(MeshManagerTest, UnreadableDescriptionsFallBackOnceToWrongRdf) {
    // No "wrong.rdf": null, and no endless fallback.
    EXPECT_FALSE(Load("missing.rdf"));
    EXPECT_FALSE(Load("wrong.rdf"));
    EXPECT_FALSE(Load(""));

    Mesh mesh;
    mesh.nodes = {Quad("wrongbox")};
    PutMesh("wrong.msh", mesh);
    PutRdf("wrong.rdf", "m=wrong.msh\n[wrongbox]\ntype=3\n");
    CPRefPtr<CPGameObject> standIn = Load("missing.rdf", 225);
    ASSERT_TRUE(standIn);
    EXPECT_EQ(standIn->GetName(), "wrongbox");
    EXPECT_EQ(MeshOf(standIn)->GetMaterial()->GetType(), 228);

    // A description whose first line is a section header names the empty mesh file: null.
    PutRdf("header.rdf", "[wrongbox]\ntype=1\n");
    EXPECT_FALSE(Load("header.rdf"));
    // "ANIM" is not an animated description but a mesh file name that cannot be read.
    PutRdf("caps.rdf", "m=ANIM;run,a.anm\n");
    EXPECT_FALSE(Load("caps.rdf"));
}

TEST_F(MeshManagerTest, MeshNodesTakeWhiteVerticesTypesAndCollisionBoxes) {
    Mesh mesh;
    Node root = Quad("Crate");
    root.boxes = {CollisionRecord::Make({0, 0, 1}, {1, 2, 3})};
    root.children = {Quad("Lid")};
    mesh.nodes = {root};
    PutMesh("crate.msh", mesh);
    PutRdf("crate.rdf", "m=crate.msh\n[lid]\ntype=4\nvisible=0\nparam=hinge\ncollision=0\nflametype=2\n");

    CPRefPtr<CPGameObject> crate = Load("crate.rdf", 20);
    ASSERT_TRUE(crate);
    EXPECT_EQ(MeshOf(crate)->GetMaterial()->GetType(), 20); // no section: the layer offset
    ASSERT_EQ(crate->GetCollisionBoxes().size(), 1u);
    EXPECT_EQ(crate->GetCollisionBoxes()[0].halfExtents.z, 3.0f);
    ASSERT_EQ(MeshOf(crate)->vertices.size(), 4u); // no renderer: stays dynamic
    for (const CPVertex& v : MeshOf(crate)->vertices) EXPECT_EQ(v.diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(MeshOf(crate)->worldVertices.size(), 4u);

    CPRefPtr<CPGameObject> lid = crate->FindChild("lid");
    ASSERT_TRUE(lid);
    EXPECT_EQ(MeshOf(lid)->GetMaterial()->GetType(), 24);
    EXPECT_FALSE(lid->IsVisible());
    EXPECT_FALSE(lid->IsCollision());
    EXPECT_EQ(lid->GetParameterText(), "hinge");
    EXPECT_EQ(lid->GetFlameType(), 2);
    EXPECT_EQ(lid->GetPosition(), Vec3()); // older nodes stay at the origin

    // Quoted values read as the same numbers.
    PutRdf("quoted.rdf", "m=crate.msh\n[lid]\ntype = \"4\"\nvisible = \"0\"\n");
    CPRefPtr<CPGameObject> quoted = Load("quoted.rdf", 20);
    ASSERT_TRUE(quoted);
    ASSERT_TRUE(quoted->FindChild("lid"));
    EXPECT_EQ(MeshOf(quoted->FindChild("lid"))->GetMaterial()->GetType(), 24);
    EXPECT_FALSE(quoted->FindChild("lid")->IsVisible());

    // A layer offset or a type at the ends of the int range saturates instead of overflowing.
    const struct {
        const char* type;
        int offset, expected;
    } ends[] = {
        {"4", INT_MAX, INT_MAX},
        {"-4", INT_MIN, INT_MIN},
        {"99999999999", 20, INT_MAX},
        {"-99999999999", 20, INT_MIN + 20},
    };
    for (const auto& e : ends) {
        PutRdf("ends.rdf", std::string("m=crate.msh\n[lid]\ntype=") + e.type + "\n");
        CPRefPtr<CPGameObject> o = Load("ends.rdf", e.offset);
        ASSERT_TRUE(o && o->FindChild("lid")) << e.type;
        EXPECT_EQ(MeshOf(o->FindChild("lid"))->GetMaterial()->GetType(), e.expected) << e.type;
    }
}

TEST_F(MeshManagerTest, P3dNodesTakePoseBoxesAndPhysics) {
    g_weightDiv = 2;
    Mesh mesh;
    Node car = Quad("Car", -1, -2);
    car.pose = {{1, 2, 3}, {0, 0, 0.6f, 0.8f}};
    car.body = BoxShape(2, 1, 4, {}, 1000);
    car.shapes = {BoxShape(2, 2, 2, {0, 0, 0}, 10)};
    Shape cylinder;
    cylinder.kind = 1;
    cylinder.b = 0.3f;
    cylinder.d = 0.7f;
    cylinder.position = {1, 1, 0};
    cylinder.rotation = {0, 0.6f, 0, 0.8f};
    cylinder.mass = 8;
    Shape odd = BoxShape(1, 1, 1, {}, 1);
    odd.kind = 2;
    car.shapes.push_back(cylinder);
    car.shapes.push_back(odd);
    Node empty;
    empty.name = "Hollow";
    car.children = {empty};
    mesh.nodes = {car};
    PutMesh("car.p3d", mesh);
    PutRdf("car.rdf", "m=car.p3d\n");

    CPRefPtr<CPGameObject> root = Load("car.rdf");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetPosition(), Vec3(1, 2, 3));
    EXPECT_EQ(root->GetRotation(), Quat(0, 0, -0.6f, 0.8f));
    EXPECT_EQ(root->GetOwnBox().centre, Vec3(-0.5f, -1.5f, 0.0f));
    EXPECT_EQ(root->GetOwnBox().halfExtents, Vec3(0.5f, 0.5f, 0.0f));

    CPPhysicData* physics = PhysicsOf(root);
    ASSERT_NE(physics, nullptr);
    EXPECT_EQ(physics->body.mass, 500.0f);
    EXPECT_EQ(physics->body.c, 4.0f);
    ASSERT_EQ(physics->shapes.size(), 2u); // kind 2 adds nothing
    EXPECT_EQ(physics->shapes[0].position, Vec3(0, 0, 1));
    EXPECT_EQ(physics->shapes[0].mass, 5.0f);
    EXPECT_EQ(physics->shapes[1].type, 1);
    EXPECT_EQ(physics->shapes[1].rotation, Quat(0, -0.6f, 0, 0.8f));
    EXPECT_EQ(physics->shapes[1].d, 0.7f);
    EXPECT_EQ(physics->shapes[1].a, 5.0f);
    ASSERT_EQ(root->GetCollisionBoxes().size(), 1u);
    const CPOrientedBox& box = root->GetCollisionBoxes()[0];
    EXPECT_EQ(box.halfExtents, Vec3(1, 1, 1));
    EXPECT_EQ(box.localMatrix.m[3][2], 1.0f); // centred 1 above the stored bottom

    // A node without vertices keeps the start values of the box.
    CPRefPtr<CPGameObject> hollow = root->FindChild("hollow");
    ASSERT_TRUE(hollow);
    EXPECT_FLOAT_EQ(hollow->GetOwnBox().centre.x, (5000000.0f - 500000.0f) / 2);
    EXPECT_FLOAT_EQ(hollow->GetOwnBox().halfExtents.y, (-5000000.0f - 5000000.0f) / 2);
}

TEST_F(MeshManagerTest, CorruptFilesGiveTheirFallbacks) {
    Mesh mesh;
    mesh.nodes = {Quad("box")};
    std::vector<uint8_t> bytes = WriteMesh(mesh, MeshKind::Older);
    bytes.resize(bytes.size() - 3);
    root_.Put("Data/Meshes/cut.msh", bytes);
    PutRdf("cut.rdf", "m=cut.msh\n");
    EXPECT_FALSE(Load("cut.rdf"));

    root_.Put("Data/Animations/cut.anm", {1, 0, 0, 0, 4, 0});
    EXPECT_TRUE(meshes_.LoadAnimations("cut.anm").empty());
    EXPECT_TRUE(meshes_.LoadAnimations("absent.anm").empty());
}

TEST_F(MeshManagerTest, StaticMeshesShareBuffersAndEmptyTheirArraysExceptTheRoad) {
    StartRender();
    Mesh mesh;
    Node scene = Quad("Scene");
    scene.children = {Quad("Road"), Quad("Tree"), Quad("Flag")};
    mesh.nodes = {scene};
    PutMesh("Level.msh", mesh);
    PutRdf("level.rdf", "m=Level.msh\n[flag]\nvertexeffect=flick 1,2\n");

    CPRefPtr<CPGameObject> level = Load("level.rdf", 0);
    ASSERT_TRUE(level);
    CPRenderObject* tree = MeshOf(level->FindChild("tree"));
    CPRenderObject* road = MeshOf(level->FindChild("road"));
    CPRenderObject* flag = MeshOf(level->FindChild("flag"));
    EXPECT_TRUE(tree->isStatic);
    EXPECT_TRUE(tree->vertices.empty() && tree->worldVertices.empty() && tree->indices.empty());
    EXPECT_GE(tree->vertices.capacity(), 4u);
    ASSERT_NE(tree->staticMesh, nullptr);
    EXPECT_EQ(tree->staticMesh, render_->GetStaticMeshes().Find("level.mshtree"));
    EXPECT_EQ(tree->staticMesh->vertexCount, 4);
    EXPECT_EQ(tree->staticMesh->primitiveCount, 2);
    EXPECT_TRUE(tree->staticMesh->HasBuffers());
    EXPECT_TRUE(road->isStatic);
    EXPECT_EQ(road->vertices.size(), 4u);
    // A "vertexeffect" key keeps the part dynamic even when no effect is built.
    EXPECT_FALSE(flag->isStatic);
    EXPECT_EQ(flag->staticMesh, nullptr);
    EXPECT_EQ(flag->vertices.size(), 4u);

    // A second load shares the entries.
    const int buffers = backend_->lastDevice->CountCalls("CreateVertexBuffer");
    CPRefPtr<CPGameObject> again = Load("level.rdf", 0);
    EXPECT_EQ(MeshOf(again->FindChild("tree"))->staticMesh, tree->staticMesh);
    EXPECT_EQ(backend_->lastDevice->CountCalls("CreateVertexBuffer"), buffers);
}

// The shadow flag as it stood before the section's own "shadow" key picks the shadow material:
// "holey.fx" objects get their own with the section's textures, the others share the renderer's.
TEST_F(MeshManagerTest, ShadowMaterialsFollowTheEffectAndTheEarlierShadowFlag) {
    StartRender();
    Mesh mesh;
    Node scene = Quad("Scene");
    scene.children = {Quad("Fence"), Quad("Wall"), Quad("Hedge"), Quad("Bare")};
    mesh.nodes = {scene};
    PutMesh("yard.msh", mesh);
    PutRdf("yard.rdf", "m=yard.msh\nsprite = glow, 0, 0, 1, 0.5, wall\n"
                       "[fence]\neffectfile=holey.fx\ntexturefile1=fence.tga\n"
                       "[wall]\neffectfile=simple.fx\n"
                       "[hedge]\neffectfile=holey.fx\nshadow=0\n"
                       "[glow]\neffectfile=simple.fx\n");

    CPRefPtr<CPGameObject> yard = Load("yard.rdf", 0);
    ASSERT_TRUE(yard);
    ASSERT_TRUE(render_->GetShadowMaterial());
    auto shadowOf = [&](const char* name) {
        CPRefPtr<CPGameObject> part = yard->FindChild(name);
        return part ? dynamic_cast<CPMaterial*>(part->GetExtraMaterial().Get()) : nullptr;
    };
    CPMaterial* fence = shadowOf("fence");
    ASSERT_NE(fence, nullptr);
    EXPECT_EQ(fence->GetType(), 16);
    EXPECT_NE(fence, render_->GetShadowMaterial().Get());
    ASSERT_NE(fence->GetTextureBlock(), nullptr);
    EXPECT_EQ(fence->GetTextureBlock()->GetCount(), 1);
    EXPECT_EQ(shadowOf("wall"), render_->GetShadowMaterial().Get());
    EXPECT_EQ(shadowOf("bare"), render_->GetShadowMaterial().Get()); // no section: no material either
    // "shadow=0" clears the flag only after this section chose its shadow material.
    EXPECT_NE(shadowOf("hedge"), nullptr);
    EXPECT_FALSE(yard->FindChild("hedge")->IsShadowBox());
    // Sprites start without the flag.
    EXPECT_EQ(shadowOf("glow"), nullptr);
}

// "shadowtextures": a part whose own shadow texture ("<dir>\\<name><suffix>") and shadow effect
// (its effect less three characters, plus the effect suffix) both exist takes the texture as a
// further one and the effect in place of its own; the key lasts for the one load.
TEST_F(MeshManagerTest, ShadowTexturesReplaceTheEffectWhereBothFilesExist) {
    Mesh mesh;
    mesh.nodes = {Quad("Box"), Quad("Lid"), Quad("Pot")};
    PutMesh("set.msh", mesh);
    StartRender();
    // A 1 x 1 picture and a plain effect, so that the names survive loading.
    const std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8, 1, 2, 3, 255};
    for (const char* file : {"a.tga", "shadows/box_s.tga", "shadows/pot_s.tga"})
        root_.Put(std::string("Data/Textures/") + file, tga);
    const std::string fx = "param texture2D tex0;\ntechnique T { pass P { fixed; } }\n";
    for (const char* file : {"simple.fx", "simple_sh.fx", "glow.fx"})
        root_.Put(std::string("Data/Effects/") + file, Text(fx));
    const std::string sections = "[box]\neffectfile = simple.fx\ntexturefile1 = a.tga\n"
                                 "[lid]\neffectfile = simple.fx\ntexturefile1 = a.tga\n"
                                 "[pot]\neffectfile = glow.fx\ntexturefile1 = a.tga\n";
    PutRdf("set.rdf", "m=set.msh\nshadowtextures = shadows, _s.tga, _sh.fx\n" + sections);
    PutRdf("plain.rdf", "m=set.msh\n" + sections);
    auto look = [&](const CPRefPtr<CPGameObject>& root, const char* part) {
        CPMaterial* m = MeshOf(root->FindChild(part))->GetMaterial().Get();
        std::string text = m->GetEffect() ? m->GetEffect()->GetName() : "?";
        for (int i = 0; m->GetTextureBlock() && i < m->GetTextureBlock()->GetCount(); ++i)
            text += " " + m->GetTextureBlock()->GetTexture(i)->GetName();
        return text;
    };
    CPRefPtr<CPGameObject> set = Load("set.rdf");
    ASSERT_TRUE(set);
    EXPECT_EQ(look(set, "box"), "simple_sh.fx a.tga shadows\\box_s.tga");
    EXPECT_EQ(look(set, "lid"), "simple.fx a.tga"); // no texture of its name
    EXPECT_EQ(look(set, "pot"), "glow.fx a.tga");   // no "glow_sh.fx"
    CPRefPtr<CPGameObject> plain = Load("plain.rdf");
    ASSERT_TRUE(plain);
    EXPECT_EQ(look(plain, "box"), "simple.fx a.tga");
}

TEST_F(MeshManagerTest, StaticMeshCacheIgnoresCaseAndPurgesOnlyLevelMeshes) {
    StartRender();
    const std::vector<CPVertex> v = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)};
    const std::vector<CPIndex> i = {0, 1, 2};
    StaticMeshEntry* before = render_->CreateStaticMesh("Menu", v.data(), i.data(), 3, 3);
    EXPECT_EQ(render_->CreateStaticMesh("MENU", nullptr, nullptr, 0, 0), before);
    LevelLoaded = 1;
    StaticMeshEntry* level = render_->CreateStaticMesh("tree", v.data(), i.data(), 3, 3);
    StaticMeshEntry* none = render_->CreateStaticMesh("nothing", v.data(), i.data(), 3, 0);
    LevelLoaded = 0;
    EXPECT_EQ(level->levelTag, 1);
    EXPECT_FALSE(none->HasBuffers()); // no indices, no buffers

    render_->PurgeLevelMeshes();
    EXPECT_EQ(render_->GetStaticMeshes().Find("tree"), nullptr);
    EXPECT_EQ(render_->GetStaticMeshes().Find("menu"), before);
    EXPECT_TRUE(before->HasBuffers());
    // The purged record stays readable for the objects that hold it, without buffers.
    EXPECT_FALSE(level->HasBuffers());
    EXPECT_EQ(level->vertexCount, 3);
    StaticMeshEntry* fresh = render_->CreateStaticMesh("Tree", v.data(), i.data(), 3, 3);
    EXPECT_NE(fresh, level);
    EXPECT_TRUE(fresh->HasBuffers());
}

TEST_F(MeshManagerTest, SpriteLightAndEmitterPartsFollowTheirParentRules) {
    Mesh mesh;
    Node post = Quad("Post");
    Node arm = Quad("Arm");
    arm.children = {Quad("Bulb")};
    post.children = {arm};
    mesh.nodes = {post};
    PutMesh("lamp.msh", mesh);
    g_weather = 0;
    PutRdf("lamp.rdf", "m=lamp.msh\n"
                       "sprite = glow, 1, 2, 3, 0.5, bulb, 0, 0, 1, 0.7\n"
                       "sprite = lost, 0, 0, 0, 1, nobody\n"
                       "sprite = nine, 0, 0, 0, 1, arm, 0, 0, 1\n"
                       "sprite = blank, 0, 0, 0, 1, arm, 0, 0, 1,\n"
                       "light = lamp, bulb, x, 0, 0, 4, 1, 0.5, 0.25, 0.1, 30\n"
                       "light = stray, nobody, x, 0, 0, 0, 1, 1, 1, 0, 5\n"
                       "light = top, post, x, 0, 0, 0, 1, 1, 1, 0, 5\n"
                       "psystem = smoke, arm, 0, 0, 1, 0.05, smoke_, spark_\n"
                       "psystem = deep, bulb, 0, 0, 1, 0.05, smoke_\n"
                       "psystem = snow2, post, 0, 0, 0, 0.1, flake_\n"
                       "psystem = snowy, post, 0, 0, 0, 0.1, flake_\n"
                       "[glow]\ntype=5\n");

    CPRefPtr<CPGameObject> root = Load("lamp.rdf", 20);
    ASSERT_TRUE(root);
    CPRefPtr<CPGameObject> bulb = root->FindChild("bulb");
    CPRefPtr<CPGameObject> glow = root->FindChild("glow");
    ASSERT_TRUE(glow);
    EXPECT_EQ(glow->GetParentPointer(), bulb.Get());
    EXPECT_EQ(glow->GetRenderType(), CPGameObject::RenderSprite);
    EXPECT_EQ(glow->GetPosition(), Vec3(1, 2, 3));
    EXPECT_FALSE(glow->IsStatic());
    EXPECT_FALSE(glow->IsShadowBox());
    auto* sprite = dynamic_cast<CPSprite*>(glow->GetRenderPart().Get());
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->GetHalfEdge(), 0.5f);
    EXPECT_FLOAT_EQ(sprite->angleLimit, 0.7f);
    EXPECT_EQ(sprite->direction, Vec3(0, 0, 1));
    EXPECT_EQ(sprite->GetMaterial()->GetType(), 25);
    EXPECT_EQ(glow->GetOwnBox().halfExtents, Vec3(0.5f, 0.5f, 0.5f));
    // Unknown parent in a mesh-file description: the root takes the sprite.
    ASSERT_TRUE(root->FindChild("lost"));
    EXPECT_EQ(root->FindChild("lost")->GetParentPointer(), root.Get());
    // Nine fields, or an empty tenth: no angle limit.
    for (const char* name : {"nine", "blank"}) {
        auto* s = dynamic_cast<CPSprite*>(root->FindChild(name)->GetRenderPart().Get());
        EXPECT_EQ(s->angleLimit, 0.0f) << name;
    }

    CPRefPtr<CPGameObject> lamp = root->FindChild("lamp");
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->GetParentPointer(), bulb.Get());
    EXPECT_EQ(lamp->GetPosition(), Vec3(0, 0, 4));
    const LightRecord& light = dynamic_cast<CPLight*>(lamp->GetRenderPart().Get())->light;
    EXPECT_EQ(light.Type, 1);
    EXPECT_EQ(light.Diffuse.g, 0.5f);
    EXPECT_EQ(light.Ambient.b, 0.25f);
    EXPECT_EQ(light.Specular.a, 0.0f);
    EXPECT_EQ(light.Attenuation1, 0.1f);
    EXPECT_EQ(light.Range, 30.0f);
    EXPECT_EQ(lamp->GetOwnBox().halfExtents, Vec3(30, 30, 30));
    EXPECT_FALSE(root->FindChild("stray"));
    ASSERT_TRUE(root->FindChild("top"));
    EXPECT_EQ(root->FindChild("top")->GetParentPointer(), root.Get());

    // Emitters attach through the root's own child names only.
    CPRefPtr<CPGameObject> smoke = root->FindChild("smoke");
    ASSERT_TRUE(smoke);
    EXPECT_EQ(smoke->GetParentPointer(), root->FindChild("arm").Get());
    auto* system = dynamic_cast<CPParticleSystem*>(smoke->GetRenderPart().Get());
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->GetNames(), (std::vector<std::string>{"smoke_", "spark_"}));
    EXPECT_FLOAT_EQ(system->interval, 0.05f);
    EXPECT_FALSE(smoke->IsActive());
    EXPECT_FALSE(root->FindChild("deep"));
    EXPECT_FALSE(root->FindChild("snow2"));
    EXPECT_TRUE(root->FindChild("snowy"));
}

// Every light and emitter line of the demo's descriptions names a part that exists, so none is
// dropped: the crate's smoke among them.
TEST_F(MeshManagerTest, DemoDescriptionsGiveEveryLightAndEmitterAPart) {
    const std::filesystem::path data = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Meshes";
    std::vector<std::filesystem::path> descriptions;
    for (const auto& e : std::filesystem::directory_iterator(data)) {
        std::ifstream in(e.path(), std::ios::binary);
        root_.Put("Data/Meshes/" + e.path().filename().string(),
                  std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        if (e.path().extension() == ".rdf") descriptions.push_back(e.path());
    }
    ASSERT_EQ(std::system((std::string(VASTREL_BINARY_DIR) + "/bin/mkdata . >/dev/null").c_str()), 0);
    InvalidatePathCache();
    int parts = 0;
    for (const auto& path : descriptions) {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const RdfDescription rdf = ParseRdf(text.data(), static_cast<int>(text.size()));
        if (rdf.lights.empty() && rdf.psystems.empty()) continue;
        CPRefPtr<CPGameObject> root = Load(path.filename().string());
        ASSERT_TRUE(root) << path;
        for (const auto* lines : {&rdf.lights, &rdf.psystems})
            for (const std::string& line : *lines) {
                const std::string name = line.substr(0, line.find(','));
                EXPECT_TRUE(root->FindChild(name)) << path.filename() << ": " << line;
                ++parts;
            }
    }
    EXPECT_GT(parts, 0);

    CPRefPtr<CPGameObject> crate = Load("crate.rdf");
    ASSERT_TRUE(crate);
    CPRefPtr<CPGameObject> chimney = crate->FindChild("chimney");
    ASSERT_TRUE(chimney);
    EXPECT_EQ(chimney->GetParentPointer(), crate.Get());
    EXPECT_EQ(chimney->GetPosition(), Vec3(0, 0, 1.1f));
    auto* system = dynamic_cast<CPParticleSystem*>(chimney->GetRenderPart().Get());
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->GetNames(), std::vector<std::string>{"chimney_"});
    EXPECT_FLOAT_EQ(system->interval, 0.2f);
}

// The file-level keys of the root: line key points in file order, the line colour read as
// hexadecimal (its default otherwise), the XML description; and a section's script.
TEST_F(MeshManagerTest, LineKeysColourDescriptionAndScript) {
    Mesh mesh;
    mesh.nodes = {Quad("Box")};
    PutMesh("box.msh", mesh);
    root_.Put("Data/Descriptions/box.xml", Text("<car><camera fov=\"70\"/></car>\n"));
    root_.Put("Data/Scripts/list.dat", Text("spin t_system race\n"));
    root_.Put("Data/Scripts/spin.lua", Text("while true do Update() end\n"));
    CPScriptManager scripts;
    ASSERT_TRUE(scripts.LoadList());
    PutRdf("box.rdf", "m=box.msh\n"
                      "linekeypoint = 1, 2, 3\n"
                      "[box]\n"
                      "script = Spin\n"
                      "linekeypoint = -4,0.5,6\n"
                      "linecolor = FF102030\n"
                      "description = Box.xml\n");
    CPRefPtr<CPGameObject> box = Load("box.rdf");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->GetLineKeyPoints(), (std::vector<Vec3>{Vec3(1, 2, 3), Vec3(-4, 0.5f, 6)}));
    EXPECT_EQ(box->GetLineColour(), 0xFF102030u);
    EXPECT_EQ(box->GetDescriptionName(), "box.xml");
    ASSERT_NE(box->GetDescription().RootElement(), nullptr);
    EXPECT_STREQ(box->GetDescription().RootElement()->Value(), "car");
    ASSERT_TRUE(scripts.GetScript("spin"));
    EXPECT_EQ(box->GetScript().Get(), scripts.GetScript("spin").Get());

    PutRdf("plain.rdf", "m=box.msh\n");
    CPRefPtr<CPGameObject> plain = Load("plain.rdf");
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->GetLineKeyPoints().empty());
    EXPECT_EQ(plain->GetLineColour(), 0xFF4E4E4Eu);
    EXPECT_EQ(plain->GetDescriptionName(), "");
    EXPECT_FALSE(plain->GetScript());
}

TEST_F(MeshManagerTest, ShortAndOddPartLinesBuildWithoutReadingPastTheirFields) {
    PutRdf("odd.rdf", "m=empty\n"
                      "sprite = a\n"
                      "sprite = b, x, 1y, 2\n"
                      "sprite = c, 1, 2, 3, 1, , 0, 0, 1, 0.3\n"
                      "light = ignored, odd.rdf\n");
    CPRefPtr<CPGameObject> root = Load("odd.rdf");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetName(), "odd.rdf");
    EXPECT_EQ(root->GetRenderType(), CPGameObject::RenderNone);
    EXPECT_EQ(root->GetSourceDescription(), "");
    ASSERT_EQ(root->GetChildren().size(), 3u);
    EXPECT_EQ(root->GetChildren()[1]->GetPosition(), Vec3(0, 1, 2));
    // Sprites of "empty" descriptions keep their static flag; lights are not built there.
    EXPECT_TRUE(root->GetChildren()[0]->IsStatic());
    EXPECT_FLOAT_EQ(dynamic_cast<CPSprite*>(root->GetChildren()[2]->GetRenderPart().Get())->angleLimit, 0.3f);
}

TEST_F(MeshManagerTest, AnimatedDescriptionsBuildFromTheFirstFileAndAddTheOthers) {
    AnimatedMesh walk;
    walk.root = AnimatedQuad("Body", 240.0f, 10, 0);
    walk.root.body = BoxShape(1, 2, 3, {}, 0); // no mass: no physics data, shapes give no physics
    walk.root.shapes = {BoxShape(1, 1, 1, {}, 4)};
    walk.root.children = {AnimatedQuad("Arm", 240.0f, 2, 5)};
    walk.root.children[0].body = BoxShape(1, 1, 1, {}, 3);
    walk.root.children[0].bounds = BoxShape(2, 4, 6, {0, 0, 1}, 1);
    root_.Put("Data/Meshes/walk.amf", WriteAnimatedMesh(walk));

    AnimatedMesh run = walk;
    run.root.animation = AnimatedQuad("x", 120.0f, 4, 7).animation;
    root_.Put("Data/Meshes/run.amf", WriteAnimatedMesh(run));
    AnimatedMesh strange = walk;
    strange.root.children[0].name = "Leg";
    root_.Put("Data/Meshes/strange.amf", WriteAnimatedMesh(strange));
    root_.Put("Data/Meshes/broken.amf", {1, 2, 3});

    PutRdf("walker.rdf", "m=anim;broken,broken.amf;walk,walk.amf;nopair;run,run.amf;odd,strange.amf;gone,absent.amf\n"
                         "sprite = tag, 0, 0, 2, 0.5, nobody\n"
                         "sprite = own, 0, 0, 2, 0.5, body\n"
                         "sprite = held, 0, 0, 2, 0.5, arm\n"
                         "[arm]\ntype=3\n");
    CPRefPtr<CPGameObject> root = Load("walker.rdf", 20);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetName(), "body");
    EXPECT_EQ(root->GetSourceDescription(), "walker.rdf");
    EXPECT_EQ(root->GetRenderType(), CPGameObject::RenderAnimatedMesh);
    EXPECT_FALSE(root->GetPhysicData());
    EXPECT_EQ(root->GetCollisionBoxes().size(), 1u);

    auto* part = dynamic_cast<CPAnimatedObject*>(root->GetRenderPart().Get());
    ASSERT_NE(part, nullptr);
    ASSERT_NE(part->animations.Find("walk"), nullptr);
    ASSERT_NE(part->animations.Find("run"), nullptr);
    ASSERT_NE(part->animations.Find("odd"), nullptr); // added before the unknown child stopped the file
    EXPECT_EQ(part->currentAnimation.Get(), part->animations.Find("walk")->Get());
    CPAnimation* walking = part->animations.Find("walk")->Get();
    EXPECT_EQ(walking->GetName(), "body&walk.amf");
    EXPECT_EQ(walking->frameCount, 10);
    EXPECT_FLOAT_EQ(walking->frameTime, 0.1f);
    EXPECT_FLOAT_EQ(walking->duration, 1.0f);
    EXPECT_EQ(walking->frames[9].number, 9);
    EXPECT_EQ(walking->frames[0].vertices[0].diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(walking->box.centre, Vec3(1.0f, 1.5f, 4.5f));
    EXPECT_EQ(root->GetOwnBox().centre, walking->box.centre);
    EXPECT_EQ(part->animations.Find("run")->Get()->frameCount, 4);

    CPRefPtr<CPGameObject> arm = root->FindChild("arm");
    ASSERT_TRUE(arm);
    auto* armPart = dynamic_cast<CPAnimatedObject*>(arm->GetRenderPart().Get());
    EXPECT_NE(armPart->animations.Find("run"), nullptr);
    EXPECT_EQ(armPart->animations.Find("odd"), nullptr);
    EXPECT_EQ(armPart->GetMaterial()->GetType(), 23);
    ASSERT_TRUE(arm->GetPhysicData());
    EXPECT_EQ(arm->GetOwnBox().halfExtents, Vec3(1, 3, 2)); // the bounding shape
    EXPECT_EQ(arm->GetOwnBox().localMatrix.m[3][2], 3.0f);

    // "anim" sprites: unknown parents drop them unless they name the root.
    EXPECT_FALSE(root->FindChild("tag"));
    ASSERT_TRUE(root->FindChild("own"));
    EXPECT_EQ(root->FindChild("own")->GetParentPointer(), root.Get());
    EXPECT_EQ(root->FindChild("held")->GetParentPointer(), arm.Get());

    // One cache entry per node and file; released with the last holder.
    EXPECT_NE(GetAnimationManager()->Find("arm&run.amf"), nullptr);
    arm.Reset();
    root.Reset();
    CPManagedObject::CollectGarbage();
    EXPECT_EQ(GetAnimationManager()->GetCount(), 0u);
}

TEST_F(MeshManagerTest, KeyFrameSectionsGiveTheHierarchyItsAnimations) {
    KeyFrames keys;
    KeyObject lid{"Lid", {}};
    for (int k = 0; k < 3; ++k) {
        Key key;
        key.time = 0.25f;
        for (int i = 0; i < 12; ++i) key.matrix[i] = static_cast<float>(10 * k + i);
        lid.keys.push_back(key);
    }
    KeyObject replaced{"lid", {Key{}}};
    keys.objects = {replaced, lid, KeyObject{"stranger", {}}};
    root_.Put("Data/Animations/open.anm", WriteKeyFrames(keys));
    Mesh mesh;
    Node box = Quad("Box");
    box.children = {Quad("Lid")};
    mesh.nodes = {box};
    PutMesh("box.msh", mesh);
    PutRdf("box.rdf", "m=box.msh\n[box]\nanimation=open,open.anm;idle,open.anm;broken\n");

    CPMeshManager::Animations loaded = meshes_.LoadAnimations("open.anm");
    ASSERT_EQ(loaded.size(), 2u);
    CPPartAnimation* first = loaded["lid"].Get();
    ASSERT_EQ(first->keyMatrices.size(), 3u); // the later record of the name
    EXPECT_EQ(first->keyDurations[1], 0.25f);
    const Mat4& m = first->keyMatrices[1];
    // Column by column: first column rows 1-4, then the second and the third; the fourth is (0,0,0,1).
    EXPECT_EQ(m.m[0][0], 10.0f);
    EXPECT_EQ(m.m[3][0], 13.0f);
    EXPECT_EQ(m.m[0][1], 14.0f);
    EXPECT_EQ(m.m[2][2], 20.0f);
    EXPECT_EQ(m.m[0][3], 0.0f);
    EXPECT_EQ(m.m[3][3], 1.0f);

    CPRefPtr<CPGameObject> root = Load("box.rdf");
    ASSERT_TRUE(root);
    CPRefPtr<CPGameObject> lidObject = root->FindChild("lid");
    ASSERT_NE(lidObject->GetAnimations().Find("open"), nullptr);
    ASSERT_NE(lidObject->GetAnimations().Find("idle"), nullptr);
    EXPECT_EQ(lidObject->GetAnimations().Find("open")->Get()->GetTarget(), lidObject.Get());
    EXPECT_EQ(root->GetAnimations().Find("open"), nullptr);
}

TEST_F(MeshManagerTest, EmitterObjects) {
    CPKernel kernel;
    CPRefPtr<CPGameObject> fire = meshes_.CreateEmitterObject("fire1, 0, 0, 0.0, 0.015f, fire_, smoke_");
    ASSERT_TRUE(fire);
    EXPECT_EQ(fire->GetName(), "fire1");
    EXPECT_EQ(fire->GetRenderType(), CPGameObject::RenderParticles);
    EXPECT_EQ(fire->GetPosition(), Vec3());
    EXPECT_FALSE(fire->IsShadowBox());
    EXPECT_EQ(fire->GetOwnBox().halfExtents, Vec3(0.5f, 0.5f, 0.5f));
    auto* system = dynamic_cast<CPParticleSystem*>(fire->GetRenderPart().Get());
    ASSERT_NE(system, nullptr);
    EXPECT_FLOAT_EQ(system->interval, 0.015f);
    EXPECT_EQ(system->GetNames(), (std::vector<std::string>{"fire_", "smoke_"}));
    EXPECT_TRUE(fire->IsActive());
    EXPECT_EQ(system->GetPriority(), 200);

    CPRefPtr<CPGameObject> bare = meshes_.CreateEmitterObject("spark, 1, 2, 3, 0.5");
    EXPECT_EQ(bare->GetPosition(), Vec3(1, 2, 3));
    EXPECT_TRUE(dynamic_cast<CPParticleSystem*>(bare->GetRenderPart().Get())->GetNames().empty());

    CPRefPtr<CPGameObject> gib = meshes_.CreateParticleObject({"gib_"}, 0.2f);
    EXPECT_EQ(gib->GetName(), "psystem");
    EXPECT_FALSE(gib->IsActive());
    EXPECT_FLOAT_EQ(dynamic_cast<CPParticleSystem*>(gib->GetRenderPart().Get())->interval, 0.2f);
    fire->Deactivate();
    bare->Deactivate();
}

} // namespace
