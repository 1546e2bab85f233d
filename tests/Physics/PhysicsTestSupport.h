#pragma once

#include "Physics/Geometry.h"
#include "Physics/Simulator.h"

#include <string>
#include <vector>

namespace PhysicsTest {

// The game's descriptor: 5 rigid, 5 animated, no particles, 10 controllers, 100 pairs,
// 100 geometries, 10 joints, 10 joint groups, 100 sensors.
inline Physics::SimulatorDesc GameDesc() { return {5, 5, 0, 10, 100, 100, 10, 10, 10, 100, 200, -1}; }

// Collects the engine's error messages while installed.
class MessageLog {
public:
    explicit MessageLog(Physics::Simulator* simulator) {
        Messages().clear();
        simulator->SetErrorLevel(1);
        simulator->SetErrorCallback(&MessageLog::Record);
    }
    const std::vector<std::string>& All() const { return Messages(); }
    void Clear() { Messages().clear(); }
    bool Contains(const std::string& text) const {
        for (const std::string& m : Messages()) {
            if (m == text) {
                return true;
            }
        }
        return false;
    }

private:
    static std::vector<std::string>& Messages() {
        static std::vector<std::string> messages;
        return messages;
    }
    static void Record(const char* message) { Messages().emplace_back(message); }
};

// Owns a simulator for the length of a test.
struct World {
    explicit World(const Physics::SimulatorDesc& desc = GameDesc(), const Physics::Vector4* gravity = nullptr)
        : sim(Physics::CreateSimulator(desc, nullptr, gravity)) {}
    ~World() { Physics::DestroySimulator(sim); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    Physics::Simulator* operator->() const { return sim; }
    Physics::Simulator* sim;
};

// Free-standing shapes for the pair tests, sized by half extents (the engine takes full sizes).
inline Physics::Geometry Box(float hx, float hy, float hz) {
    Physics::Geometry g;
    g.Reset();
    g.SetBox(2.0f * hx, 2.0f * hy, 2.0f * hz);
    return g;
}

inline Physics::Geometry Capsule(float radius, float halfLength) {
    Physics::Geometry g;
    g.Reset();
    g.SetCapsule(2.0f * radius, 2.0f * halfLength);
    return g;
}

inline const Physics::Vector4 kGameGravity{0.0f, 0.0f, -9.8f, 0.0f};
inline const float kTick = 1.0f / 150.0f;

} // namespace PhysicsTest
