// The physics task: world set-up, fixed steps and their carry, bodies made from physics data, the
// road handed over through the grid, write-back, parking and freeing of removed bodies.
#include <gtest/gtest.h>

#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Race/PPhysicData.h"
#include "Race/PPhysics.h"

namespace {

class PhysicsTaskTest : public ::testing::Test {
protected:
    void SetUp() override { physics_ = CPRefPtr<CPPhysics>(new CPPhysics); }
    void TearDown() override {
        FrameDelta = 0.0f;
        physics_->DestroyWorld();
        physics_.Reset();
        CPManagedObject::CollectGarbage();
    }

    // A flat road 300 x 20 at z = 0 from two triangles.
    void BuildFlatRoad() {
        ASSERT_TRUE(physics_->BuildRoadGrid({{-10, -10, 0}, {290, -10, 0}, {290, 10, 0}, {-10, 10, 0}},
                                            {0, 1, 2, 0, 2, 3}, MatIdentity()));
    }

    CPRefPtr<CPGameObject> MakeBox(const Vec3& position, float mass) {
        CPRefPtr<CPGameObject> object(new CPGameObject("crate"));
        CPRefPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
        data->body.a = data->body.b = data->body.c = 1.0f;
        data->body.mass = mass;
        CPPhysicData::Shape shape;
        shape.a = shape.b = shape.c = 1.0f;
        data->shapes.push_back(shape);
        object->SetPhysicData(data);
        object->SetPosition(position);
        object->UpdateTransform();
        return object;
    }

    static CPPhysicData& Data(const CPRefPtr<CPGameObject>& object) {
        return *dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    }

    CPRefPtr<CPPhysics> physics_;
};

TEST_F(PhysicsTaskTest, FrameTimesGiveTheFixedStepsAndCarryTheRest) {
    struct Case {
        float frame;
        int steps;
        float carry;
    };
    // The accumulator grows by 1.5 x the frame time; whole steps of 1/150 s run, the rest stays.
    const Case cases[] = {
        {0.0f, 0, 0.0f},
        {0.01f, 2, 0.015f - 2.0f / 150.0f},
        {1.0f / 60.0f, 3, 0.025f - 3.0f / 150.0f},
        {0.1f, 22, 0.15f - 22.0f / 150.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        CPRefPtr<CPPhysics> physics(new CPPhysics);
        physics->InitWorld();
        FrameDelta = c.frame;
        physics->Update();
        EXPECT_EQ(physics->GetStepsTaken(), c.steps);
        EXPECT_NEAR(physics->GetAccumulator(), c.carry, 1e-6f);
        physics->DestroyWorld();
    }
    // Jittered frames: the steps always add up to the accumulated time.
    physics_->InitWorld();
    const float frames[] = {0.013f, 0.021f, 0.0f, 0.017f, 0.002f, 0.05f, 0.016f};
    float total = 0.0f;
    for (float frame : frames) {
        FrameDelta = frame;
        physics_->Update();
        total += frame * 1.5f;
        EXPECT_NEAR(physics_->GetStepsTaken() * CPPhysics::kStep + physics_->GetAccumulator(), total, 1e-5f);
        EXPECT_LT(physics_->GetAccumulator(), CPPhysics::kStep);
    }
}

TEST_F(PhysicsTaskTest, ARaceStartsWithoutTheLastRacesLeftoverTime) {
    physics_->InitWorld();
    ASSERT_TRUE(physics_->Start());
    FrameDelta = 0.01f; // 0.015 s: two steps and a rest
    physics_->Update();
    ASSERT_GT(physics_->GetAccumulator(), 0.0f);
    // The race ends with the task stopped but, in the same turn, still listed; the next race takes
    // it back (refused, since it still runs) or adds it again: either way the rest is gone.
    EXPECT_FALSE(physics_->Start());
    EXPECT_EQ(physics_->GetAccumulator(), 0.0f);
    physics_->Update();
    physics_->Stop();
    EXPECT_TRUE(physics_->Start());
    EXPECT_EQ(physics_->GetAccumulator(), 0.0f);
    const int before = physics_->GetStepsTaken();
    FrameDelta = 1.0f / 300.0f; // half a step: nothing may run yet
    physics_->Update();
    EXPECT_EQ(physics_->GetStepsTaken(), before);
}

TEST_F(PhysicsTaskTest, RemovedBodiesParkDeeperEachTimeAndWrapAround) {
    physics_->InitWorld();
    float expected = -1000.0f;
    for (int removal = 1; removal <= 201; ++removal) {
        CPRefPtr<CPGameObject> box = MakeBox({0, 0, 5}, 1.0f);
        physics_->AddObject(box.Get(), true, 1);
        ASSERT_NE(Data(box).rigidBody, nullptr) << removal;
        Physics::RigidBody* body = Data(box).rigidBody;
        Data(box).RemoveFromPhysics();
        EXPECT_EQ(Data(box).rigidBody, nullptr);
        EXPECT_FLOAT_EQ(body->GetPosition().z, expected) << removal;
        EXPECT_FALSE(body->IsEnabled());
        expected -= 500.0f;
        if (expected < -100000.0f) expected = -1000.0f;
        // Let the record expire so the pool of five bodies is never exhausted.
        FrameDelta = 0.001f;
        for (int turn = 0; turn < 3; ++turn) physics_->Update();
        EXPECT_EQ(physics_->GetRemovalCount(), 0);
    }
}

TEST_F(PhysicsTaskTest, ARemovedBodyIsFreedOnceWhenItsRecordExpires) {
    physics_->InitWorld();
    CPRefPtr<CPGameObject> first = MakeBox({0, 0, 5}, 1.0f);
    physics_->AddObject(first.Get(), true, 1);
    Data(first).RemoveFromPhysics();
    Data(first).RemoveFromPhysics(); // nothing more: no body
    EXPECT_EQ(physics_->GetRemovalCount(), 1);
    FrameDelta = 0.001f; // no step, but the countdown runs
    physics_->Update();
    physics_->Update();
    EXPECT_EQ(physics_->GetRemovalCount(), 1);
    physics_->Update();
    EXPECT_EQ(physics_->GetRemovalCount(), 0);
    // All five rigid bodies are available again.
    std::vector<CPRefPtr<CPGameObject>> boxes;
    for (int i = 0; i < 5; ++i) {
        boxes.push_back(MakeBox({float(i) * 3, 0, 5}, 1.0f));
        physics_->AddObject(boxes.back().Get(), true, 1);
        EXPECT_NE(Data(boxes.back()).rigidBody, nullptr) << i;
    }
    CPRefPtr<CPGameObject> sixth = MakeBox({0, 9, 5}, 1.0f);
    physics_->AddObject(sixth.Get(), true, 1);
    EXPECT_EQ(Data(sixth).rigidBody, nullptr); // the pool is fixed
}

TEST_F(PhysicsTaskTest, NegativeMassMakesAKinematicBodyInGroupTwoWithMaterialThree) {
    physics_->InitWorld();
    CPRefPtr<CPGameObject> tunnel = MakeBox({10, 0, 0}, -1.0f);
    physics_->AddObject(tunnel.Get(), true, 1);
    CPPhysicData& data = Data(tunnel);
    ASSERT_NE(data.animatedBody, nullptr);
    EXPECT_EQ(data.rigidBody, nullptr);
    EXPECT_EQ(data.animatedBody->GetCollisionGroup(), 2);
    EXPECT_EQ(data.shapes[0].geometry->GetMaterial(), 3);
    EXPECT_EQ(data.animatedBody->GetUserData(), tunnel.Get());

    CPRefPtr<CPGameObject> crate = MakeBox({0, 0, 3}, 2.0f);
    physics_->AddObject(crate.Get(), true, 5);
    ASSERT_NE(Data(crate).rigidBody, nullptr);
    EXPECT_EQ(Data(crate).shapes[0].geometry->GetMaterial(), 5);
    EXPECT_EQ(Data(crate).rigidBody->GetCollisionGroup(), 0);
    // An object without physics data is ignored.
    CPRefPtr<CPGameObject> plain(new CPGameObject("plain"));
    physics_->AddObject(plain.Get(), true, 1);
}

TEST_F(PhysicsTaskTest, ABoxFallsOntoTheGridRoadAndIsWrittenBack) {
    BuildFlatRoad();
    physics_->InitWorld();
    CPRefPtr<CPGameObject> crate = MakeBox({50, 0, 3}, 10.0f);
    Data(crate).AddToPhysics(1);
    physics_->RestoreObject(crate.Get());
    physics_->RestoreObject(crate.Get()); // entered once
    ASSERT_TRUE(physics_->IsWrittenBack(crate.Get()));
    FrameDelta = 1.0f / 60.0f;
    for (int turn = 0; turn < 240; ++turn) physics_->Update();
    EXPECT_NEAR(crate->GetPosition().z, 0.5f, 0.05f); // resting on the road
    EXPECT_NEAR(crate->GetPosition().x, 50.0f, 5.0f); // frictionless car material: it may slide a little
    EXPECT_GT(Data(crate).gatheredCount, 0);

    // Taken out: no longer written back, its body disabled.
    physics_->RemoveObject(crate.Get());
    EXPECT_FALSE(physics_->IsWrittenBack(crate.Get()));
    EXPECT_FALSE(Data(crate).enabled);
    EXPECT_FALSE(Data(crate).rigidBody->IsEnabled());
}

TEST_F(PhysicsTaskTest, DestroyingTheWorldClearsEveryBodyHandleItMade) {
    physics_->InitWorld();
    CPRefPtr<CPGameObject> crate = MakeBox({0, 0, 3}, 1.0f), tunnel = MakeBox({9, 0, 0}, -1.0f);
    physics_->AddObject(crate.Get(), true, 1);
    physics_->AddObject(tunnel.Get(), true, 1);
    physics_->RestoreObject(crate.Get());
    physics_->Stop();
    EXPECT_EQ(physics_->GetWorld(), nullptr);
    EXPECT_FALSE(Data(crate).HasBody());
    EXPECT_FALSE(Data(tunnel).HasBody());
    EXPECT_EQ(Data(crate).shapes[0].geometry, nullptr);
    EXPECT_FALSE(physics_->IsWrittenBack(crate.Get()));
    // A new world for the next race takes the same objects again.
    physics_->InitWorld();
    physics_->AddObject(crate.Get(), true, 1);
    EXPECT_TRUE(Data(crate).HasBody());
}

} // namespace
