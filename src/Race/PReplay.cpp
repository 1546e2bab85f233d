#include "Race/PReplay.h"

#include <cmath>
#include <string>
#include <utility>

#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "Race/PCar.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"

namespace {

void Store(float* out, const Vec3& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

void Store(float* out, const Quat& q) {
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
    out[3] = q.w;
}

Vec3 LoadVec(const float* v) { return Vec3(v[0], v[1], v[2]); }
Quat LoadQuat(const float* q) { return Quat(q[0], q[1], q[2], q[3]); }

// Weighted from both ends so that u = 1 lands exactly on b (and u = 0 on a): at a sample's own
// time the rival stands on the sample.
Vec3 Lerp(const float* a, const float* b, float u) { return LoadVec(a) * (1.0f - u) + LoadVec(b) * u; }

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const Quat& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

void StorePart(const CPGameObject* part, float* position, float* rotation) {
    if (!part) return;
    Store(position, part->GetPosition());
    Store(rotation, part->GetRotation());
}

} // namespace

CPReplayFrame SampleRunFrame(const CPPlayer& car, float raceClock) {
    CPReplayFrame f;
    Store(f.position, car.GetPosition());
    Store(f.rotation, car.GetRotation());
    f.time = raceClock;
    if (const CPCar* model = car.GetCar()) {
        // The vehicle model holds the parts it drives: the rear wheels of the car's rear-wheel type.
        StorePart(model->GetWheel(0).part.Get(), f.w0Position, f.w0Rotation);
        StorePart(model->GetWheel(1).part.Get(), f.w2Position, f.w2Rotation);
        Store(f.dustPoint, model->GetWheel(1).dustPoint);
        f.dustFlag = model->dusting ? 1 : 0;
        f.throttle = model->throttle > 0.0f ? 1 : 0;
    } else {
        StorePart(car.FindChild("w0").Get(), f.w0Position, f.w0Rotation);
        StorePart(car.FindChild("w2").Get(), f.w2Position, f.w2Rotation);
    }
    return f;
}

bool RecordRunFrame(const CPPlayer& car, float raceClock, float& lastSampleTime, std::vector<CPReplayFrame>& frames) {
    if (!(lastSampleTime + kReplaySampleInterval < raceClock)) return false;
    lastSampleTime = raceClock;
    // A car thrown into numbers that are not finite leaves no trace in the run: the run goes into
    // the level record and the save slot, whose reader would refuse it.
    const CPReplayFrame frame = SampleRunFrame(car, raceClock);
    if (!IsFiniteFrame(frame) || !Finite(car.GetVelocity()) || !Finite(car.GetLinearVelocity())) return false;
    frames.push_back(frame);
    return true;
}

bool InterpolateRun(const std::vector<CPReplayFrame>& frames, float clock, int& cursor, RunPose& pose) {
    const int n = static_cast<int>(frames.size());
    if (n < 2) return false;
    if (cursor < 0 || cursor >= n) cursor = 0;
    while (frames[cursor].time < clock && cursor < n - 1) ++cursor;
    if (!(frames[cursor].time >= clock) || cursor == 0) return false;
    const CPReplayFrame& a = frames[cursor - 1];
    const CPReplayFrame& b = frames[cursor];
    const float span = b.time - a.time;
    // Samples out of order or at one time: the rival stands at b rather than dividing by nothing.
    const float u = span > 0.0f ? (clock - a.time) / span : 1.0f;
    RunPose p;
    p.position = Lerp(a.position, b.position, u);
    p.rotation = LoadQuat(b.rotation);
    p.wheelPosition[0] = Lerp(a.w0Position, b.w0Position, u);
    p.wheelRotation[0] = QuatSlerp(LoadQuat(a.w0Rotation), LoadQuat(b.w0Rotation), u);
    p.wheelPosition[1] = Lerp(a.w2Position, b.w2Position, u);
    p.wheelRotation[1] = QuatSlerp(LoadQuat(a.w2Rotation), LoadQuat(b.w2Rotation), u);
    p.dustPoint = Lerp(a.dustPoint, b.dustPoint, u);
    p.a = &a;
    p.b = &b;
    p.u = u;
    if (!Finite(p.position) || !Finite(p.rotation) || !Finite(p.dustPoint)) return false;
    for (int i = 0; i < 2; ++i)
        if (!Finite(p.wheelPosition[i]) || !Finite(p.wheelRotation[i])) return false;
    pose = p;
    return true;
}

void CPRivalPlayback::Bind(const CPRefPtr<CPGameObject>& model, int rearWheelType, std::vector<CPReplayFrame> frames) {
    *this = CPRivalPlayback();
    model_ = model;
    frames_ = std::move(frames);
    if (!model_) return;
    wheels_[0] = model_->FindChild("w0");
    if (rearWheelType >= 1 && rearWheelType <= 3) wheels_[1] = model_->FindChild("w2_" + std::to_string(rearWheelType));
    if (!wheels_[1]) wheels_[1] = model_->FindChild("w2");
    biker_ = model_->FindChild("biker");
    engine1_ = model_->FindChild("engine1");
    engine2_ = model_->FindChild("engine2");
    static const char* const kFlares[8] = {"flare01", "flare05", "flare02", "flare06",
                                           "flare03", "flare07", "flare",   "flare04"};
    for (int i = 0; i < 8; ++i) flares_[i] = model_->FindChild(kFlares[i]);
}

void CPRivalPlayback::Restart() {
    cursor_ = 0;
    dustTimer_ = 0.0f;
}

void CPRivalPlayback::Flicker() {
    // One draw per listed flare, present or not, so a model without some flares keeps the sequence.
    auto flicker = [this](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const bool odd = (EngineRand() & 1) != 0;
            if (flares_[i]) flares_[i]->SetVisible(odd);
        }
    };
    flicker(0, 2);
    if (engine1_ && engine1_->IsVisible()) flicker(2, 2);
    if (engine2_ && engine2_->IsVisible()) flicker(4, 4);
}

bool CPRivalPlayback::Update(float raceClock, float frameDelta, float& progressX) {
    dustTimer_ += frameDelta;
    if (!model_) return false;
    RunPose pose;
    if (!InterpolateRun(frames_, raceClock, cursor_, pose)) return false;
    progressX = pose.position.x;
    model_->SetPosition(Vec3(pose.position.x, pose.position.y - kRivalSideOffset, pose.position.z));
    model_->SetRotation(pose.rotation);
    for (int i = 0; i < 2; ++i) {
        if (!wheels_[i]) continue;
        wheels_[i]->SetPosition(pose.wheelPosition[i]);
        wheels_[i]->SetRotation(pose.wheelRotation[i]);
    }
    if (biker_) biker_->SetVisible(true);
    if (pose.a->dustFlag != 0 && g_dust != 0 && dustTimer_ > kReplaySampleInterval) {
        dustTimer_ = 0.0f;
        if (CPRaceEffects* effects = GetRaceEffects())
            effects->EmitDust("pil2", Vec3(pose.dustPoint.x, pose.dustPoint.y - kRivalSideOffset, pose.dustPoint.z));
    }
    if (pose.a->throttle != 0) Flicker();
    model_->UpdateTransform();
    return true;
}
