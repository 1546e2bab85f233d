// The recorded run without a world: the recorder's cadence and what a sample holds (the driven rear
// wheel among them), the playback's cursor and interpolation at and between samples, and the rival
// model placed beside its line with its wheels, dust and flares.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "Race/PCar.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Race/PReplay.h"

namespace {

CPRefPtr<CPGameObject> AddPart(CPGameObject* parent, const std::string& name, const Vec3& position = {},
                               bool visible = true) {
    CPRefPtr<CPGameObject> part(new CPGameObject(name));
    part->SetPosition(position);
    part->SetVisible(visible);
    parent->AddChild(part);
    return part;
}

CPReplayFrame Frame(float time, float x, float y = 0.0f, float z = 0.0f) {
    CPReplayFrame f;
    f.time = time;
    f.position[0] = x;
    f.position[1] = y;
    f.position[2] = z;
    return f;
}

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

struct DustSpy : CPRaceEffects {
    std::vector<std::pair<std::string, Vec3>> dust;
    void CreateShot(const std::string&, const Vec3&, const Vec3&) override {}
    void CameraImpact(float) override {}
    void EmitDust(const std::string& type, const Vec3& point) override { dust.emplace_back(type, point); }
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string&) override { return {}; }
    void ClearShots() override {}
    void StopWeapons() override {}
    void RestartWeapons() override {}
    void ClearParticles() override {}
};

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override { CPSettingsManager::ResetDefaults(); }
    void TearDown() override {
        SetRaceEffects(nullptr);
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
    }
};

TEST_F(ReplayTest, TheRecorderSamplesOnlyWhenTheClockIsStrictlyPastTheInterval) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    struct Case {
        float clock;
        bool sampled;
    };
    const Case cases[] = {
        {0.0f, false},   {0.03f, false}, {0.05f, false}, // exactly the interval past the start: not yet
        {0.07f, true},                                   // the first sample
        {0.11f, false},                                  // 0.04 past it
        {0.125f, true},                                  // 0.055 past it
        {0.125f, false},                                 // the clock stood still
        {0.5f, true},                                    // a long frame gives one sample, not several
        {0.5501f, true},
    };
    float last = 0.0f;
    std::vector<CPReplayFrame> frames;
    std::vector<float> times;
    for (const Case& c : cases) {
        car->SetPosition(Vec3(c.clock * 10.0f, 1, 2));
        EXPECT_EQ(RecordRunFrame(*car, c.clock, last, frames), c.sampled) << c.clock;
        if (c.sampled) times.push_back(c.clock);
        EXPECT_EQ(last, times.empty() ? 0.0f : times.back()) << c.clock;
    }
    ASSERT_EQ(frames.size(), times.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].time, times[i]);
        EXPECT_EQ(frames[i].position[0], times[i] * 10.0f);
    }

    // At fixed 1/60 s turns the clock is a 32-bit sum: three turns already make a little more than
    // 0.05, so samples come three or four turns apart, never closer, never further.
    float clock = 0.0f;
    last = 0.0f;
    frames.clear();
    std::vector<int> turns;
    for (int turn = 1; turn <= 40; ++turn) {
        clock += 1.0f / 60.0f;
        if (RecordRunFrame(*car, clock, last, frames)) turns.push_back(turn);
    }
    EXPECT_EQ(turns, (std::vector<int>{3, 7, 11, 15, 18, 21, 24, 27, 31, 35, 39}));
}

TEST_F(ReplayTest, ASampleWhosePoseOrVelocityIsNotFiniteIsSkipped) {
    // A run never holds a number that is not finite: the run goes into the level record and the
    // save slot, whose reader would refuse the whole profile.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        Vec3 position;
        Quat rotation;
        Vec3 velocity;
        bool kept;
    };
    const Case cases[] = {
        {"finite", {1, 2, 3}, {0, 0, 0, 1}, {4, 0, 0}, true},
        {"position NaN", {nan, 2, 3}, {0, 0, 0, 1}, {4, 0, 0}, false},
        {"position infinite", {1, inf, 3}, {0, 0, 0, 1}, {4, 0, 0}, false},
        {"rotation NaN", {1, 2, 3}, {0, 0, nan, 1}, {4, 0, 0}, false},
        {"velocity NaN", {1, 2, 3}, {0, 0, 0, 1}, {0, nan, 0}, false},
        {"velocity infinite", {1, 2, 3}, {0, 0, 0, 1}, {0, 0, -inf}, false},
    };
    CPRefPtr<CPPlayer> car(new CPPlayer);
    CPRefPtr<CPCar> model(new CPCar(car.Get()));
    model->Init(nullptr, false, 0);
    car->SetCar(model);
    float clock = 0.0f, last = 0.0f;
    std::vector<CPReplayFrame> frames;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        car->SetPosition(c.position);
        car->SetRotation(c.rotation);
        model->velocity = c.velocity;
        clock += 0.1f;
        const size_t before = frames.size();
        EXPECT_EQ(RecordRunFrame(*car, clock, last, frames), c.kept);
        EXPECT_EQ(frames.size(), before + (c.kept ? 1 : 0));
        EXPECT_EQ(last, clock); // the sample's time passes all the same
    }
    car->SetCar({});
}

TEST_F(ReplayTest, ASampleHoldsThePoseTheDrivenWheelsDustAndThrottleAndZeroReservedBytes) {
    CPRefPtr<CPPlayer> car(new CPPlayer);
    car->SetPosition(Vec3(10, 20, 30));
    car->SetRotation(Quat(0, 0, 0.6f, 0.8f));
    CPRefPtr<CPGameObject> w0 = AddPart(car.Get(), "w0", Vec3(1, -1, 0.5f));
    w0->SetRotation(Quat(0.6f, 0, 0, 0.8f));
    AddPart(car.Get(), "w2", Vec3(-7, 7, 7));
    CPRefPtr<CPGameObject> driven = AddPart(car.Get(), "w2_2", Vec3(-1, 1, 0.25f));
    driven->SetRotation(Quat(0, 0.8f, 0, 0.6f));

    // Without a vehicle model: the plain rear wheels, no dust, no throttle.
    CPReplayFrame plain = SampleRunFrame(*car, 1.5f);
    EXPECT_EQ(plain.w2Position[0], -7.0f);
    EXPECT_EQ(plain.dustFlag, 0);
    EXPECT_EQ(plain.throttle, 0);

    // The vehicle model drives the rear wheels of type 2: those are recorded.
    CPRefPtr<CPCar> model(new CPCar(car.Get()));
    model->Init(nullptr, false, 2);
    car->SetCar(model);
    model->dusting = true;
    model->throttle = 0.25f;
    CPReplayFrame f = SampleRunFrame(*car, 2.25f);
    EXPECT_EQ(f.time, 2.25f);
    const float expected[] = {10, 20, 30, 0, 0, 0.6f, 0.8f};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f.position[i], expected[i]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f.rotation[i], expected[3 + i]);
    EXPECT_EQ(f.w0Position[0], 1.0f);
    EXPECT_EQ(f.w0Rotation[0], 0.6f);
    EXPECT_EQ(f.w2Position[0], -1.0f);
    EXPECT_EQ(f.w2Position[2], 0.25f);
    EXPECT_EQ(f.w2Rotation[1], 0.8f);
    EXPECT_EQ(f.dustFlag, 1);
    EXPECT_EQ(f.throttle, 1);
    EXPECT_TRUE(AllZero(f.reserved1, sizeof f.reserved1));
    EXPECT_TRUE(AllZero(f.reserved2, sizeof f.reserved2));
    model->throttle = -0.5f; // reversing is no throttle
    model->dusting = false;
    f = SampleRunFrame(*car, 2.5f);
    EXPECT_EQ(f.throttle, 0);
    EXPECT_EQ(f.dustFlag, 0);
    car->SetCar({});
}

TEST_F(ReplayTest, PlaybackInterpolatesBetweenTheSamplesAroundTheClock) {
    std::vector<CPReplayFrame> run = {Frame(1.0f, 0.0f), Frame(2.0f, 10.0f, 4.0f), Frame(3.0f, 30.0f, 8.0f)};
    run[1].rotation[2] = 1.0f;
    run[1].rotation[3] = 0.0f;
    struct Case {
        float clock;
        bool placed;
        int cursor;
        float x, u;
    };
    // Clocks in order: the cursor only moves forward.
    const Case
        cases
            [] =
                {
                    {0.5f, false, 0, 0, 0}, // the run has not begun
                    {1.0f, false, 0, 0, 0}, // at the first sample: nothing before it to come from
                    {1.5f, true, 1, 5.0f, 0.5f},
                    {2.0f, true, 1, 10.0f, 1.0f}, // a sample's own time: that sample is b with u = 1
                    {2.25f, true, 2, 15.0f, 0.25f},
                    {3.0f, true, 2, 30.0f, 1.0f},
                    {3.5f, false, 2, 0, 0}, // the run is over
                };
    int cursor = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clock);
        RunPose pose;
        EXPECT_EQ(InterpolateRun(run, c.clock, cursor, pose), c.placed);
        EXPECT_EQ(cursor, c.cursor);
        if (!c.placed) continue;
        EXPECT_EQ(pose.position.x, c.x);
        EXPECT_EQ(pose.u, c.u);
        EXPECT_EQ(pose.b, &run[c.cursor]);
        // The body turns as b, not in between.
        EXPECT_EQ(pose.rotation, Quat(run[c.cursor].rotation[0], run[c.cursor].rotation[1], run[c.cursor].rotation[2],
                                      run[c.cursor].rotation[3]));
    }
    // At a sample's own time the pose is that sample exactly, even where a + (b - a) would round.
    std::vector<CPReplayFrame> fine = {Frame(0.1f, 0.1f, 1e-3f, 7.3f), Frame(0.3f, 0.3f, 1234.567f, -0.7f)};
    RunPose pose;
    cursor = 0;
    ASSERT_TRUE(InterpolateRun(fine, 0.3f, cursor, pose));
    EXPECT_EQ(pose.position, Vec3(0.3f, 1234.567f, -0.7f));
}

TEST_F(ReplayTest, ShortOrDamagedRunsPlayNothingOrStandAtTheLaterSample) {
    RunPose pose;
    int cursor = 0;
    EXPECT_FALSE(InterpolateRun({}, 1.0f, cursor, pose));
    // One sample: the cursor can never pass 0.
    for (float clock : {0.0f, 0.5f, 1.0f, 2.0f}) EXPECT_FALSE(InterpolateRun({Frame(1.0f, 5.0f)}, clock, cursor, pose));
    EXPECT_EQ(cursor, 0);

    // Samples at one time or out of order: the rival stands at b, no division by nothing.
    for (float bTime : {1.0f, 0.5f}) {
        std::vector<CPReplayFrame> run = {Frame(1.0f, 0.0f), Frame(bTime, 8.0f, 2.0f), Frame(4.0f, 9.0f)};
        cursor = 1;
        ASSERT_TRUE(InterpolateRun(run, bTime, cursor, pose)) << bTime;
        EXPECT_EQ(pose.position, Vec3(8, 2, 0));
    }

    // A value that is not finite is not applied.
    std::vector<CPReplayFrame> bad = {Frame(1.0f, 0.0f), Frame(2.0f, std::numeric_limits<float>::quiet_NaN())};
    bad[1].w0Rotation[0] = std::numeric_limits<float>::infinity();
    cursor = 0;
    EXPECT_FALSE(InterpolateRun(bad, 1.5f, cursor, pose));
}

class RivalTest : public ReplayTest {
protected:
    void SetUp() override {
        ReplayTest::SetUp();
        rival_ = CPRefPtr<CPGameObject>(new CPGameObject("rival"));
        for (const char* name : {"w0", "w2", "w2_1", "w2_3"}) AddPart(rival_.Get(), name);
        biker_ = AddPart(rival_.Get(), "biker", {}, false);
        AddPart(rival_.Get(), "engine1", {}, true);
        AddPart(rival_.Get(), "engine2", {}, false);
        for (const char* name : {"flare01", "flare05", "flare02", "flare06", "flare03", "flare07", "flare", "flare04"})
            flares_.push_back(AddPart(rival_.Get(), name, {}, false));
        SetRaceEffects(&spy_);
    }
    std::vector<CPReplayFrame> Run() const {
        std::vector<CPReplayFrame> run = {Frame(0.1f, 0.0f, 0.0f, 1.0f), Frame(0.2f, 2.0f, 1.0f, 1.0f),
                                          Frame(0.3f, 4.0f, 1.0f, 1.0f)};
        run[0].w2Rotation[0] = 0.6f;
        run[0].w2Rotation[3] = 0.8f;
        run[1].w2Position[2] = 0.5f;
        run[0].dustFlag = 1;
        run[0].dustPoint[1] = 3.0f;
        run[1].dustPoint[1] = 5.0f;
        run[1].throttle = 1;
        return run;
    }

    CPRefPtr<CPGameObject> rival_, biker_;
    std::vector<CPRefPtr<CPGameObject>> flares_;
    DustSpy spy_;
};

TEST_F(RivalTest, TheRivalRunsBesideItsLineOnTheWheelsItShows) {
    const struct {
        int rearType;
        const char* rear;
    } cases[] = {{0, "w2"}, {1, "w2_1"}, {2, "w2"}, {3, "w2_3"}, {7, "w2"}}; // type 2's wheels are missing
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rearType);
        CPRivalPlayback playback;
        playback.Bind(rival_, c.rearType, Run());
        ASSERT_EQ(playback.GetWheel(1), rival_->FindChild(c.rear).Get());
        float progress = -1.0f;
        ASSERT_TRUE(playback.Update(0.15f, 0.15f, progress));
        const float u = (0.15f - 0.1f) / (0.2f - 0.1f); // about a half, in 32-bit arithmetic
        EXPECT_EQ(progress, 2.0f * u);
        EXPECT_EQ(rival_->GetPosition(), Vec3(2.0f * u, u - 2.5f, 1.0f));
        EXPECT_EQ(rival_->GetRotation(), Quat(0, 0, 0, 1)); // b's
        EXPECT_EQ(playback.GetWheel(1)->GetPosition(), Vec3(0, 0, 0.5f * u));
        EXPECT_EQ(playback.GetWheel(1)->GetRotation(), QuatSlerp(Quat(0.6f, 0, 0, 0.8f), Quat(0, 0, 0, 1), u));
        EXPECT_TRUE(biker_->IsVisible());
        biker_->SetVisible(false);
    }
}

TEST_F(RivalTest, DustAndFlaresFollowTheEarlierSample) {
    CPRivalPlayback playback;
    playback.Bind(rival_, 0, Run());
    float progress = 0.0f;
    // a = sample 0: dust (its timer must exceed 0.05), no throttle: the flares keep their state.
    EngineSrand(5);
    ASSERT_TRUE(playback.Update(0.15f, 0.04f, progress));
    EXPECT_TRUE(spy_.dust.empty());
    ASSERT_TRUE(playback.Update(0.16f, 0.02f, progress));
    ASSERT_EQ(spy_.dust.size(), 1u);
    EXPECT_EQ(spy_.dust[0].first, "pil2");
    EXPECT_NEAR(spy_.dust[0].second.y, 4.2f - 2.5f, 1e-5f); // u = 0.6 between 3 and 5
    EXPECT_EQ(playback.GetDustTimer(), 0.0f);
    for (const auto& flare : flares_) EXPECT_FALSE(flare->IsVisible());
    EngineSrand(5);
    const int untouched = EngineRand();
    EngineSrand(5);
    ASSERT_TRUE(playback.Update(0.17f, 0.01f, progress));
    EXPECT_EQ(EngineRand(), untouched); // no draw without throttle

    // "dust" off: none.
    g_dust = 0;
    ASSERT_TRUE(playback.Update(0.18f, 0.1f, progress));
    EXPECT_EQ(spy_.dust.size(), 1u);
    g_dust = 1;

    // a = sample 1: throttle on. One draw per flare in order; engine1 shows, engine2 does not, so
    // the last four stay as they were.
    flares_[6]->SetVisible(true);
    EngineSrand(11);
    std::vector<bool> odd;
    for (int i = 0; i < 4; ++i) odd.push_back((EngineRand() & 1) != 0);
    const int next = EngineRand();
    EngineSrand(11);
    ASSERT_TRUE(playback.Update(0.25f, 0.01f, progress));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(flares_[i]->IsVisible(), odd[i]) << i;
    EXPECT_FALSE(flares_[4]->IsVisible());
    EXPECT_TRUE(flares_[6]->IsVisible());
    EXPECT_EQ(EngineRand(), next);

    // With engine2 shown and some flares missing, the sequence still takes one draw per flare.
    CPRefPtr<CPGameObject> sparse(new CPGameObject("rival"));
    AddPart(sparse.Get(), "engine1");
    AddPart(sparse.Get(), "engine2");
    CPRefPtr<CPGameObject> last = AddPart(sparse.Get(), "flare04", {}, false);
    CPRivalPlayback other;
    other.Bind(sparse, 0, Run());
    EngineSrand(3);
    for (int i = 0; i < 7; ++i) EngineRand();
    const bool lastOdd = (EngineRand() & 1) != 0;
    EngineSrand(3);
    ASSERT_TRUE(other.Update(0.25f, 0.0f, progress));
    EXPECT_EQ(last->IsVisible(), lastOdd);
}

TEST_F(RivalTest, AFinishedRunLeavesTheRivalWhereItStood) {
    CPRivalPlayback playback;
    playback.Bind(rival_, 0, Run());
    float progress = 0.0f;
    ASSERT_TRUE(playback.Update(0.3f, 0.0f, progress));
    const Vec3 end = rival_->GetPosition();
    EXPECT_EQ(end, Vec3(4.0f, 1.0f - 2.5f, 1.0f));
    for (float clock : {0.31f, 1.0f, 100.0f}) {
        EXPECT_FALSE(playback.Update(clock, 0.1f, progress));
        EXPECT_EQ(rival_->GetPosition(), end);
        EXPECT_EQ(progress, 4.0f);
    }
    EXPECT_EQ(playback.GetCursor(), 2);

    // No model: nothing plays; a model without any part still moves.
    CPRivalPlayback none;
    none.Bind({}, 0, Run());
    EXPECT_FALSE(none.Update(0.15f, 0.1f, progress));
    CPRefPtr<CPGameObject> bare(new CPGameObject("bare"));
    CPRivalPlayback plain;
    plain.Bind(bare, 2, Run());
    EXPECT_TRUE(plain.Update(0.2f, 0.1f, progress));
    EXPECT_EQ(bare->GetPosition(), Vec3(2.0f, 1.0f - 2.5f, 1.0f));
}

} // namespace
