// What a caller outside the engine does, through the front-door header alone.
#include "Physics/Physics.h"

#include <gtest/gtest.h>

namespace {

using namespace Physics;

int g_contacts = 0;
void CountContact(ContactReport* report) {
    if (report->bodyA != nullptr && report->bodyB != nullptr) {
        ++g_contacts;
    }
}

TEST(PhysicsApi, CreateStepQueryAndFreeThroughTheFrontDoor) {
    SimulatorDesc desc;
    desc.rigidBodiesCount = 2;
    desc.animatedBodiesCount = 1;
    desc.constraintSetsCount = 2;
    desc.overlapPairsCount = 8;
    desc.geometriesCount = 4;
    desc.jointsCount = 2;
    desc.jointGroupsCount = 2;
    desc.sensorsCount = 2;
    const Vector4 gravity{0.0f, 0.0f, -9.8f, 0.0f};
    Simulator* sim = CreateSimulator(desc, nullptr, &gravity);
    ASSERT_NE(sim, nullptr);
    g_contacts = 0;
    sim->SetContactCallback(&CountContact);
    sim->GetCollisionGroups().Set(0, 0, CollisionGroupMatrix::kCollide | CollisionGroupMatrix::kReport);

    AnimatedBody* floor = sim->CreateAnimatedBody();
    ASSERT_NE(floor, nullptr);
    floor->CreateGeometry()->SetBox(20.0f, 20.0f, 1.0f);
    floor->UpdateBounds();
    floor->SetPosition({0.0f, 0.0f, -0.5f, 0.0f});

    RigidBody* box = sim->CreateRigidBody();
    ASSERT_NE(box, nullptr);
    box->CreateGeometry()->SetBox(1.0f, 1.0f, 1.0f);
    box->UpdateBounds();
    box->SetMass(2.0f);
    box->SetInertia(BoxInertia({1.0f, 1.0f, 1.0f, 0.0f}, 2.0f));
    box->SetPosition({0.0f, 0.0f, 1.5f, 0.0f});
    Sensor* ray = box->CreateSensor();
    ray->SetRay({0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -2.0f, 0.0f});

    // The ray reaches the floor top (z = 0) once the centre is within 2 m of it; the part of
    // the ray beyond the hit is 2 - z.
    int hits = 0;
    for (int i = 0; i < 300; ++i) {
        sim->Step(1.0f / 150.0f, 1, nullptr);
        if (ray->GetHitBody() == floor) {
            ++hits;
            EXPECT_NEAR(ray->GetHitDepth(), 2.0f - box->GetPosition().z, 0.05f) << "step " << i;
        }
    }
    EXPECT_GT(hits, 0);
    EXPECT_GT(g_contacts, 0);
    EXPECT_NEAR(box->GetPosition().z, 0.5f, 0.05f);
    EXPECT_TRUE(box->IsAsleep());
    EXPECT_NE(DumpBodies(*sim).find("rigid"), std::string::npos) << DumpBodies(*sim);

    sim->FreeBody(box);
    EXPECT_EQ(sim->EnabledRigidBodies().head, nullptr);
    RigidBody* again = sim->CreateRigidBody();
    EXPECT_NE(again, nullptr);
    DestroySimulator(sim);
}

} // namespace
