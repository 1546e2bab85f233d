// The demo's "Data/admin.sav": the stored level records every new profile starts from, written
// through the game's own save writer. Each level has a time to beat (a fresh profile can set a
// record only below it); level 1 also carries a rival run computed along its road.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "Core/Math/Quat.h"
#include "DemoMeshes.h"
#include "Race/PCar.h"
#include "Race/PSaveFile.h"

bool WriteAdminSave(const std::filesystem::path& root) {
    SaveFileData data;
    data.profileName = "admin";
    data.playerName = "coupe_t";
    data.time = {2026, 1, 4, 1, 12, 0, 0, 0};
    data.racesPassed = 1;
    data.upgrades = {0, 0, 0, 0, 0, 4, 1};
    for (int i = 0; i < kLevelRecordCount; ++i) {
        SaveLevelRecord& r = data.records[i];
        r.time = 90.0f + 10.0f * static_cast<float>(i);
        r.medal = 4;
        r.parts = {0, 1, 1, 1, 0, 4, 1};
    }
    // Level 1: a run along the road, beside which the rival is shown: held at the start through the
    // menu's three-second countdown as the player is, then from rest at 4 m/s^2 up to 22 m/s, over
    // the hills and the jump as the road's height goes, sampled every 0.05 s to the end of the road.
    SaveLevelRecord& rival = data.records[0];
    rival.name = "coupe_t";
    constexpr float kCountdown = 3.0f, kAcceleration = 4.0f, kTopSpeed = 22.0f, kRideHeight = 0.6f, kWheelRadius = 0.5f;
    // The model's front (-y) turned a quarter turn about Z to face +X, as the layout's start has it.
    const Quat facing = QuatRotationAxis(Vec3(0, 0, 1), 1.5707964f);
    float x = 0.0f, speed = 0.0f;
    for (int n = 1; x < 640.0f; ++n) {
        const float time = 0.05f * static_cast<float>(n);
        const bool held = time <= kCountdown;
        speed = held ? 0.0f : std::min(kTopSpeed, kAcceleration * (time - kCountdown));
        x += speed * 0.05f;
        CPReplayFrame f;
        f.time = time;
        f.position[0] = x;
        f.position[2] = RoadHeight(x) + kRideHeight;
        // Nose up the slope: a turn about the world's Y after the facing.
        const float slope = RoadHeight(x + 0.5f) - RoadHeight(x - 0.5f);
        const Quat q = QuatMultiply(facing, QuatRotationAxis(Vec3(0, 1, 0), -std::atan(slope)));
        const float rotation[4] = {q.x, q.y, q.z, q.w};
        std::copy(rotation, rotation + 4, f.rotation);
        const Quat wheel = CPCar::WheelRotation(-x / kWheelRadius, 0.0f);
        const float spin[4] = {wheel.x, wheel.y, wheel.z, wheel.w};
        f.w0Position[1] = -1.4f;
        f.w2Position[1] = 1.3f;
        std::copy(spin, spin + 4, f.w0Rotation);
        std::copy(spin, spin + 4, f.w2Rotation);
        f.dustPoint[0] = x - 1.3f;
        f.dustPoint[2] = RoadHeight(x - 1.3f);
        // Dust while it gathers speed, the throttle all the way.
        f.dustFlag = !held && speed < kTopSpeed ? 1 : 0;
        f.throttle = held ? 0 : 1;
        rival.frames.push_back(f);
    }
    std::filesystem::create_directories(root / "Data" / "Saves");
    return SUCCEEDED(SaveSaveFile((root / "Data" / "admin.sav").string(), data));
}
