// Vertex animation (frame choice from the clock, passes, the play-count stop, reports to the
// listener, world space and the mirror swap, a refilled shared animation) and key-frame animation
// (passes, loops, the key matrix reaching the target, short and zero-length keys).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Core/PGameObject.h"
#include "Core/PGlobalTimer.h"
#include "Core/PLuaScript.h"
#include "Core/PScriptManager.h"
#include "Core/PScriptObject.h"
#include "Render/MeshFile.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimation.h"
#include "Render/PAnimationManager.h"
#include "Render/PPartAnimation.h"
#include "Render/PVertexEffect.h"

namespace {

// Frame k has k + 3 vertices at x = k and k + 1 triangles, so every count tells the frame apart.
MeshFile::VertexAnimation Block(int frames, float frameTimeUnits) {
    MeshFile::VertexAnimation block;
    block.frameTime = frameTimeUnits;
    for (int k = 0; k < frames; ++k) {
        MeshFile::Frame frame;
        for (int i = 0; i < k + 3; ++i) {
            CPVertex v{};
            v.position = Vec3(static_cast<float>(k), static_cast<float>(i), 0);
            v.normal = Vec3(0, 0, 1);
            frame.vertices.push_back(v);
        }
        for (int t = 0; t <= k; ++t)
            for (int c = 0; c < 3; ++c) frame.indices.push_back(static_cast<CPIndex>(c));
        block.frames.push_back(frame);
    }
    return block;
}

class Sink : public CPObjectEventSink {
public:
    void Damage(const Vec3&, const Vec3&, float, CPGameObject*, bool) override {}
    void NotifyAnimationStopped() override { ++stopped; }
    void NotifyAnimationReport() override { ++reported; }
    void SetGibs(bool) override {}
    int stopped = 0;
    int reported = 0;
};

class AnimatedObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        TotalTime = 0;
        owner_ = CPRefPtr<CPGameObject>(new CPGameObject("runner"));
        owner_->SetEnemyController(&sink_);
        part_ = CPRefPtr<CPAnimatedObject>(new CPAnimatedObject(owner_.Get()));
        owner_->SetRenderType(CPGameObject::RenderAnimatedMesh);
        owner_->SetRenderPart(part_);
        listener_ = CPRefPtr<CPLuaScript>(new CPLuaScript);
        ASSERT_TRUE(listener_->Start());
        // 10 frames of 0.1 s (240 units of 1/2400 s).
        part_->AddAnimation("run", animations_.Get("run&runner.anm", Block(10, 240)));
    }
    void TearDown() override {
        owner_->SetEnemyController(nullptr);
        listener_->Stop();
        part_.Reset();
        owner_.Reset();
        listener_.Reset();
        CPManagedObject::CollectGarbage();
        TotalTime = 0;
    }

    void Play(float speed, int playCount, int reportFrame) {
        AnimationRequest request;
        request.name = "run";
        request.speed = speed;
        request.playCount = playCount;
        request.reportFrame = reportFrame;
        request.listener = listener_;
        owner_->PlayAnimation(request, true);
    }

    // One frame of the block: counts first, then the fill; answers the frame written.
    int FillAt(double time, CPAnimatedObject* part = nullptr) {
        part = part ? part : part_.Get();
        TotalTime = time;
        const int v = part->GetVertexCount(), i = part->GetIndexCount();
        vertices_.assign(static_cast<size_t>(v) + 1, CPVertex{});
        indices_.assign(static_cast<size_t>(i) + 1, 0xBEEF);
        vertices_.back().position = Vec3(-99, -99, -99);
        part->Fill(vertices_.data(), indices_.data(), 0, 0);
        // Nothing beyond what was counted.
        EXPECT_EQ(vertices_.back().position.x, -99.0f);
        EXPECT_EQ(indices_.back(), 0xBEEF);
        if (v == 0) return -1;
        EXPECT_EQ(i, 3 * (v - 2));
        return v - 3;
    }

    std::vector<std::string> Commands() {
        std::vector<std::string> names;
        for (const CPCommand& c : listener_->GetQueue()) {
            names.push_back(c.name);
            EXPECT_EQ(c.params, std::vector<std::string>{FormatHandle(listener_.Get())});
        }
        return names;
    }

    CPAnimationManager animations_;
    CPScriptManager scripts_;
    Sink sink_;
    CPRefPtr<CPGameObject> owner_;
    CPRefPtr<CPAnimatedObject> part_;
    CPRefPtr<CPLuaScript> listener_;
    std::vector<CPVertex> vertices_;
    std::vector<CPIndex> indices_;
};

TEST_F(AnimatedObjectTest, ChoosesTheFrameFromTheClockAndSpeed) {
    struct Case {
        double elapsed;
        float speed;
        int frame;
    };
    const Case cases[] = {
        {0.0, 1, 0},
        {0.35, 1, 3},
        {0.35, 2, 7},
        {0.99, 1, 9},
        {1.05, 1, 0},
        // An exact multiple of the duration stays at the end of its pass.
        {2.0, 1, 9},
        // An hour in, chosen directly rather than by taking off one pass at a time.
        {3600.35, 1, 3},
        {-0.5, 1, 0},
        {0.5, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elapsed);
        TotalTime = 0;
        Play(c.speed, 0, -1);
        TotalTime = c.elapsed;
        EXPECT_EQ(part_->ChooseFrame(), c.frame);
        EXPECT_EQ(FillAt(c.elapsed), c.frame);
    }
}

TEST_F(AnimatedObjectTest, AWrapCountsAPassAndThePlayCountFreezesTheSecondToLastFrame) {
    Play(1, 2, -1);
    EXPECT_EQ(FillAt(0.95), 9);
    EXPECT_EQ(FillAt(1.05), 0);
    EXPECT_EQ(part_->passCounter, 1);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(FillAt(1.95), 9);
    // The third pass begins: frozen on frame 8 of 10, told once.
    EXPECT_EQ(FillAt(2.05), 8);
    EXPECT_TRUE(part_->stopped);
    EXPECT_EQ(part_->currentName, "");
    EXPECT_EQ(Commands(), std::vector<std::string>{"animation_stopped"});
    EXPECT_EQ(sink_.stopped, 1);
    for (double t : {2.5, 3.05, 9.0}) EXPECT_EQ(FillAt(t), 8);
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_EQ(sink_.stopped, 1);
    // Starting again clears the freeze.
    Play(1, 0, -1);
    EXPECT_EQ(FillAt(9.35), 3);
}

TEST_F(AnimatedObjectTest, ReportsTheReportFrameOncePerPass) {
    Play(1, 0, 5);
    int reports = 0;
    for (int step = 0; step < 30; ++step) {
        const double t = 0.05 + 0.1 * step;
        FillAt(t);
        const int now = static_cast<int>(Commands().size());
        if (now > reports) {
            // The first fill showing frame 5 or later, once in each pass.
            EXPECT_EQ(step % 10, 5) << t;
            reports = now;
        }
    }
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(sink_.reported, 3);
    // A jump past the report frame still reports it, with the frame it jumped to.
    TotalTime = 30.0;
    Play(1, 0, 5);
    FillAt(30.0 + 0.05);
    FillAt(30.0 + 0.75);
    EXPECT_EQ(part_->reportedFrame, 7);
}

TEST_F(AnimatedObjectTest, TheFillThatStopsAlsoReports) {
    // Report frame 0: the frame the stopping fill computed (0) is reported in that same fill.
    Play(1, 1, 0);
    FillAt(0.05);
    FillAt(0.95);
    FillAt(1.05);
    EXPECT_EQ(part_->reportedFrame, 0);
    EXPECT_EQ(sink_.stopped, 1);
    EXPECT_EQ(sink_.reported, 2);
}

TEST_F(AnimatedObjectTest, AnEndedListenerHearsNothingAndTheOwnerStillDoes) {
    Play(1, 1, 2);
    listener_->Stop();
    FillAt(0.55);
    FillAt(1.05);
    EXPECT_TRUE(listener_->GetQueue().empty());
    EXPECT_EQ(sink_.stopped, 1);
    EXPECT_EQ(sink_.reported, 1);
}

TEST_F(AnimatedObjectTest, WritesTheFrameInWorldSpaceAndTurnsTrianglesBackUnderAMirror) {
    Play(1, 0, -1);
    owner_->SetBaseMatrix(MatScaling(-1, 2, 1) * MatTranslation(10, 20, 30));
    owner_->MarkDirty();
    owner_->UpdateTransform();
    ASSERT_EQ(FillAt(0.15), 1);
    // Frame 1: vertex i at (1, i, 0) with normal (0, 0, 1).
    EXPECT_EQ(vertices_[2].position, Vec3(9, 24, 30));
    EXPECT_EQ(vertices_[2].normal, Vec3(0, 0, 1));
    EXPECT_EQ(vertices_[2].diffuse, 0xFFFFFFFFu);
    EXPECT_EQ((std::vector<CPIndex>(indices_.begin(), indices_.begin() + 6)), (std::vector<CPIndex>{0, 2, 1, 0, 2, 1}));

    // Not mirrored: indices as stored, plus the base vertex.
    owner_->SetBaseMatrix(MatScaling(2, 2, 2));
    owner_->MarkDirty();
    owner_->UpdateTransform();
    TotalTime = 0.15;
    part_->GetVertexCount();
    std::vector<CPVertex> v(4);
    std::vector<CPIndex> i(6);
    part_->Fill(v.data(), i.data(), 7, 0);
    EXPECT_EQ(i, (std::vector<CPIndex>{7, 8, 9, 7, 8, 9}));
    EXPECT_EQ(v[1].normal, Vec3(0, 0, 2)); // not renormalised

    // Without an owner nothing is swapped and the frame stays where it is.
    CPAnimatedObject bare;
    bare.AddAnimation("run", part_->currentAnimation);
    EXPECT_EQ(FillAt(0.15, &bare), 1);
    EXPECT_EQ(indices_[1], 1);
}

TEST_F(AnimatedObjectTest, EmptyAndTimelessAnimationsDrawSafely) {
    CPAnimatedObject part(owner_.Get());
    part.AddAnimation("none", animations_.Get("none&runner.anm", Block(0, 240)));
    EXPECT_EQ(FillAt(5.0, &part), -1);
    CPAnimatedObject still(owner_.Get());
    still.AddAnimation("still", animations_.Get("still&runner.anm", Block(4, 0)));
    for (double t : {0.0, 1.0, 1e6}) EXPECT_EQ(FillAt(t, &still), 0);
    CPAnimatedObject one(owner_.Get());
    one.playCount = 1;
    one.AddAnimation("one", animations_.Get("one&runner.anm", Block(1, 240)));
    for (double t : {0.0, 0.5, 1.0, 7.0}) EXPECT_EQ(FillAt(t, &one), 0);
    EXPECT_FALSE(one.stopped);
    CPAnimatedObject nothing(owner_.Get());
    EXPECT_EQ(FillAt(1.0, &nothing), -1);
}

TEST_F(AnimatedObjectTest, ARefillOfASharedAnimationLeavesEveryPartOnAValidFrame) {
    CPAnimatedObject other(owner_.Get());
    other.AddAnimation("run", part_->currentAnimation);
    Play(1, 0, -1);
    EXPECT_EQ(FillAt(0.95), 9);
    EXPECT_EQ(FillAt(0.95, &other), 9);
    other.stopped = true; // a frozen part keeps its frame by position
    // A second description load of the name reads a shorter block into the same animation.
    animations_.Get("run&runner.anm", Block(3, 240));
    ASSERT_EQ(part_->currentAnimation->frames.size(), 3u);
    // The moving part wraps into the new, shorter pass; the frozen one holds the last frame there is.
    EXPECT_EQ(FillAt(0.95), 0);
    EXPECT_EQ(FillAt(0.95, &other), 2);
    EXPECT_EQ(FillAt(1.05), 1);
}

TEST_F(AnimatedObjectTest, VertexEffectsRunOnTheWrittenVerticesAndCopiesGetTheirOwn) {
    CPRefPtr<CPVertexEffect> fade = CreateVertexEffect("fade", {"51"});
    ASSERT_TRUE(fade);
    part_->vertexEffects.push_back(fade);
    part_->hasVertexEffects = true;
    Play(1, 0, -1);
    FrameDelta = 1.0f;
    FillAt(0.15);
    EXPECT_EQ(vertices_[0].diffuse, 0xCCFFFFFFu);
    EXPECT_EQ(vertices_[0].position, Vec3(1, 0, 0));

    CPRefPtr<CPManagedObject> copied = part_->CloneForOwner(owner_.Get());
    auto* copy = dynamic_cast<CPAnimatedObject*>(copied.Get());
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->vertexEffects.size(), 1u);
    EXPECT_NE(copy->vertexEffects[0].Get(), fade.Get());
    EXPECT_EQ(copy->currentAnimation.Get(), part_->currentAnimation.Get());
    EXPECT_EQ(copy->listener.Get(), listener_.Get());
    // The copy fades on from where the original was, on its own clock.
    FillAt(0.15, copy);
    EXPECT_EQ(vertices_[0].diffuse, 0x99FFFFFFu);
    FillAt(0.15);
    EXPECT_EQ(vertices_[0].diffuse, 0x99FFFFFFu);
    FrameDelta = 0;
}

// ---- key frames ----

class PartAnimationTest : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = CPRefPtr<CPGameObject>(new CPGameObject("lid"));
        script_ = CPRefPtr<CPLuaScript>(new CPLuaScript);
        ASSERT_TRUE(script_->Start());
        target_->SetScript(script_.Get());
        animation_ = CPRefPtr<CPPartAnimation>(new CPPartAnimation());
        animation_->SetTarget(target_.Get());
    }
    void TearDown() override {
        FrameDelta = 0;
        target_->SetScript(nullptr);
        script_->Stop();
    }
    // Keys translating by (k, 0, 0) with the given durations.
    void Keys(const std::vector<float>& durations) {
        animation_->keyDurations = durations;
        animation_->keyMatrices.clear();
        for (size_t k = 0; k < durations.size(); ++k)
            animation_->keyMatrices.push_back(MatTranslation(static_cast<float>(k) * 10, 0, 0));
    }
    int Ends() const { return static_cast<int>(script_->GetQueue().size()); }
    void Step(float dt) {
        FrameDelta = dt;
        animation_->Update();
    }

    CPScriptManager scripts_;
    CPRefPtr<CPGameObject> target_;
    CPRefPtr<CPLuaScript> script_;
    CPRefPtr<CPPartAnimation> animation_;
};

TEST_F(PartAnimationTest, FourKeysLoopAtTheThirdKeyOrStopThere) {
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop);
        SetUp();
        Keys({1, 1, 1, 1});
        animation_->loop = loop;
        ASSERT_TRUE(animation_->Start());
        Step(1.5f);
        EXPECT_EQ(animation_->currentKey, 1);
        EXPECT_EQ(Ends(), 0);
        Step(1.0f); // passes key 2: the end of the pass
        EXPECT_EQ(Ends(), 1);
        EXPECT_EQ(script_->GetQueue().front().name, "animation_end");
        if (loop) {
            EXPECT_EQ(animation_->currentKey, 0);
            EXPECT_TRUE(animation_->IsRunning());
            Step(2.0f);
            EXPECT_EQ(Ends(), 2);
        } else {
            EXPECT_EQ(animation_->currentKey, 2);
            EXPECT_FALSE(animation_->IsRunning());
        }
        TearDown();
    }
}

TEST_F(PartAnimationTest, TheKeyHalfwayBetweenKeysBecomesTheTargetsBaseMatrix) {
    Keys({2, 2, 2, 2});
    animation_->keyMatrices[1] = MatRotationZ(1.0f) * MatTranslation(10, 4, 0);
    target_->SetPosition(Vec3(0, 0, 5));
    CPRefPtr<CPGameObject> parent(new CPGameObject("box"));
    parent->SetPosition(Vec3(100, 0, 0));
    parent->AddChild(target_);
    parent->UpdateTransform();
    Step(1.0f);
    const Mat4& a = animation_->keyMatrices[0];
    const Mat4& b = animation_->keyMatrices[1];
    Mat4 half;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) half.m[r][c] = (a.m[r][c] + b.m[r][c]) * 0.5f;
    EXPECT_EQ(target_->GetBaseMatrix(), half);
    // world = rotation x translation x key x parent
    const Mat4 expected = MatTranslation(0, 0, 5) * half * MatTranslation(100, 0, 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(target_->GetWorldMatrix().m[r][c], expected.m[r][c], 1e-5f);
}

TEST_F(PartAnimationTest, ShortAndTimelessKeyListsNeverRunPastTheLastKey) {
    struct Case {
        std::vector<float> durations;
        bool loop;
        float step;
        int steps;
        int key;      // where it ends up
        int endsMin;  // at least this many pass ends
        bool running; // still running
    };
    const Case cases[] = {
        {{}, true, 1.0f, 5, 0, 0, true},
        {{1}, true, 1.5f, 5, 0, 0, true},
        {{1, 1}, false, 1.5f, 5, 1, 1, false},
        {{1, 1}, true, 0.75f, 8, 0, 2, true},
        // A looping pass of no length ends the frame rather than spinning in it.
        {{0, 0, 0, 0}, true, 0.5f, 3, 0, 3, true},
        {{-1, -2, 0, 3}, true, 0.5f, 3, 0, 3, true},
        {{0, 0, 0}, false, 0.5f, 2, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.durations.size() << " keys, loop " << c.loop);
        SetUp();
        Keys(c.durations);
        animation_->loop = c.loop;
        ASSERT_TRUE(animation_->Start());
        for (int i = 0; i < c.steps && animation_->IsRunning(); ++i) Step(c.step);
        EXPECT_EQ(animation_->currentKey, c.key);
        EXPECT_GE(Ends(), c.endsMin);
        EXPECT_EQ(animation_->IsRunning(), c.running);
        const Mat4 k = animation_->CurrentKeyMatrix();
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) EXPECT_TRUE(std::isfinite(k.m[r][col]));
        TearDown();
    }
}

TEST_F(PartAnimationTest, CopiesTakeKeysAndLoopButNotTimeOrTarget) {
    Keys({1, 1, 1, 1});
    animation_->loop = true;
    Step(1.5f);
    CPRefPtr<CPObjectAnimation> copied = animation_->CopyForTarget(nullptr);
    auto* copy = dynamic_cast<CPPartAnimation*>(copied.Get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->keyDurations, animation_->keyDurations);
    EXPECT_TRUE(copy->loop);
    EXPECT_EQ(copy->currentKey, 0);
    EXPECT_EQ(copy->elapsed, 0.0f);
    EXPECT_EQ(copy->GetTarget(), nullptr);
    EXPECT_FALSE(animation_->Clone());
}

} // namespace
