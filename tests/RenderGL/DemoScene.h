#pragma once
// The demo scene the GL scene test looks at and bench_render times: textured ground, 400 crates in
// a quadtree, glowing sprites over some of them, point lights, a translucent panel a layer higher,
// a screen frame in layer 200, and a camera on an orbit. It needs a game root holding the data
// set's effects and the textures mkdata draws.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Core/PSettings.h"
#include "Render/PMaterialManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "RenderGL/SceneSupport.h"

namespace SceneSupport {

class DemoScene {
public:
    static constexpr int kGrid = 20;        // crates a side
    static constexpr float kSpacing = 6.0f; // between crate centres
    static constexpr float kCrateHalf = 1.0f;
    static constexpr float kOrbitRadius = 70.0f;
    static constexpr float kOrbitHeight = 30.0f;

    DemoScene(CPRender& render, CPMaterialManager& materials) : render_(render) {
        auto ground = materials.GetMaterial(20, "lit.fx,shared", {"ground.tga"});
        auto crate = materials.GetMaterial(20, "simple.fx", {"crate.tga"});
        auto glow = materials.GetMaterial(21, "glow.fx", {"flare.tga"});
        auto glass = materials.GetMaterial(21, "glass.fx", {});
        auto frame = materials.GetMaterial(200, "screen.fx", {"frame.tga"});

        groundObject = Panel("ground", ground, Vec3(0, 0, 0), Vec3(0, 0, 1), 200, 200, 0xFFFFFFFF, 40);
        const float half = (kGrid - 1) * kSpacing * 0.5f;
        for (int i = 0; i < kGrid; ++i)
            for (int j = 0; j < kGrid; ++j) {
                const Vec3 p(-half + kSpacing * i, -half + kSpacing * j, kCrateHalf);
                crates.push_back(Box("crate", crate, p, Vec3(kCrateHalf, kCrateHalf, kCrateHalf)));
                if ((i * 7 + j * 3) % 11 == 0)
                    sprites.push_back(Sprite("glow", glow, p + Vec3(0, 0, 2.5f), 1.2f, 0xFFFFC080));
            }
        for (int k = 0; k < 4; ++k) {
            const float a = 1.5707963f * static_cast<float>(k);
            lights.push_back(
                PointLight("lamp", Vec3(30 * std::cos(a), 30 * std::sin(a), 6), Color{1.0f, 0.7f, 0.4f, 1.0f}, 40));
        }
        panel = Panel("glass", glass, Vec3(0, 0, 8), Vec3(1, 0, 0), 20, 6, 0x6040A0FF);
        screenFrame =
            ScreenRect("frame", frame, 0, 0, static_cast<float>(g_screenWidth), static_cast<float>(g_screenHeight));

        const int levels = g_quadlevels;
        g_quadlevels = 3;
        quadtree.SetBox(Vec3(0, 0, kCrateHalf), Vec3(half + kSpacing, half + kSpacing, 10));
        quadtree.Build(crates, 0);
        g_quadlevels = levels;

        camera = CPRefPtr<CPPerspectiveCamera>(new CPPerspectiveCamera());
        camera->up = Vec3(0, 0, 1);
        camera->fov = 1.0471976f;
        camera->nearPlane = 1;
        camera->farPlane = 1000;
        render.SetLayerCamera(20, camera.Get());
        render.SetLayerCamera(21, camera.Get());
        CurrentCamera = camera;
        SetOrbit(0);
    }
    ~DemoScene() {
        if (CurrentCamera == camera.Get()) CurrentCamera.Reset();
        render_.ReleaseLayer(20);
        render_.ReleaseLayer(21);
    }

    // The camera on its orbit at this angle, looking at the middle of the yard.
    void SetOrbit(float angle) {
        camera->eye = Vec3(kOrbitRadius * std::cos(angle), kOrbitRadius * std::sin(angle), kOrbitHeight);
        camera->lookAt = Vec3(0, 0, 0);
        camera->viewDirty = camera->projectionDirty = true;
        camera->Recalculate();
    }

    // What a race turn does before the renderer's frame: queue the scene (the quadtree culls the
    // crates), then, as the sky does, the sun and the ambient colour, and hand the lights over.
    void Queue() {
        CPRenderBlock& block = *render_.GetDynamicRenderBlock();
        const int distance = g_distance;
        g_distance = 1000;
        block.DrawDynamicObject(groundObject.Get());
        quadtree.Cull(*camera, &block);
        g_distance = distance;
        for (const auto& s : sprites) block.DrawDynamicObject(s.Get());
        for (const auto& l : lights) block.DrawDynamicObject(l.Get());
        block.DrawDynamicObject(panel.Get());
        block.DrawDynamicObject(screenFrame.Get());
        LightRecord sun;
        sun.Type = 3;
        sun.Diffuse = {0.8f, 0.78f, 0.7f, 1};
        sun.Direction = Normalize(Vec3(-0.4f, -0.3f, -1.0f));
        render_.AddLight(sun);
        render_.SetAmbient(0xFF404850, 0.25f, 0.28f, 0.31f);
        render_.ApplyLights();
    }

    CPRefPtr<CPGameObject> groundObject, panel, screenFrame;
    std::vector<CPRefPtr<CPGameObject>> crates, sprites, lights;
    CPQuadTreeNode quadtree;
    CPRefPtr<CPPerspectiveCamera> camera;

private:
    CPRender& render_;
};

} // namespace SceneSupport
