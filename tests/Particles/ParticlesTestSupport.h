#pragma once
// A particle manager on a throw-away game root holding the four particle files, a test camera and
// a fill into plain arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Particles/PParticlesManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/RenderTestSupport.h"

namespace ParticlesSupport {

inline std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

struct Files {
    std::string particles, spots, emitters, flames;
};

class ManagerFixture : public ::testing::Test {
protected:
    // Writes the files and starts the manager; false when a file is missing.
    bool StartWith(const Files& files) {
        root_.Put("Data/particles.dat", Text(files.particles));
        root_.Put("Data/spots.dat", Text(files.spots));
        root_.Put("Data/particlesystems.dat", Text(files.emitters));
        root_.Put("Data/flames.dat", Text(files.flames));
        return manager->Start();
    }
    void SetUp() override {
        FrameDelta = 0.0f;
        CurrentCamera = nullptr;
    }
    void TearDown() override {
        CurrentCamera = nullptr;
        FrameDelta = 0.0f;
    }
    // A camera at the eye looking at the point, z up.
    static void UseCamera(const Vec3& eye, const Vec3& at) {
        CPRefPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera);
        camera->eye = eye;
        camera->lookAt = at;
        camera->view = MatLookAtLH(eye, at, Vec3(0, 0, 1));
        float det = 0;
        MatInverse(camera->viewInverse, &det, camera->view);
        CurrentCamera = camera;
    }
    static void Step(float dt) {
        FrameDelta = dt;
        GetParticlesManager()->Update();
    }

    RenderSupport::ScopedGameRoot root_;
    CPRefPtr<CPParticlesManager> manager{new CPParticlesManager};
};

struct Filled {
    std::vector<CPVertex> vertices;
    std::vector<CPIndex> indices;
};

inline Filled FillOf(CPParticleRenderObject& type, uint16_t base = 0) {
    Filled out;
    out.vertices.resize(type.GetVertexCount());
    out.indices.resize(type.GetIndexCount());
    type.Fill(out.vertices.data(), out.indices.data(), base, 0);
    return out;
}

} // namespace ParticlesSupport
