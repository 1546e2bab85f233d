// When a RigidBody counts as resting, and when it may fall asleep.
#include "Physics/RestDetection.h"

#include "Physics/ContactStack.h"
#include "Physics/Quaternion.h"
#include "Physics/Simulator.h"

#include <cmath>

namespace Physics {

namespace {

constexpr float kMeanSpeedLimit = 2.0f;
constexpr float kMeanTurnLimit = 1.0f;
constexpr int32_t kSleepCountThree = 10;
constexpr int32_t kSleepCountTwo = 100;
constexpr float kBalanceTolerance = 0.005f;
constexpr int32_t kSettleWindow = 60;
constexpr float kVelocityChangeLimit = 5.0f;
constexpr float kTurnRateLimit = 10.0f;
constexpr float kSpinChangeLimit = 10.5f;
constexpr float kSupportGapLimit = 0.002f;

float Cross2(const Vector4& p, const Vector4& q) { return p.x * q.y - p.y * q.x; }

} // namespace

int32_t PointInEnlargedTriangle(const Vector4& a, const Vector4& b, const Vector4& c) {
    const Vector4 m = (a + b + c) * 0.33333334f;
    const Vector4 ea = m + (a - m) * 1.1f;
    const Vector4 eb = m + (b - m) * 1.1f;
    const Vector4 ec = m + (c - m) * 1.1f;
    const float ab = Cross2(ea, eb);
    const float bc = Cross2(eb, ec);
    const float ca = Cross2(ec, ea);
    return ((ab > 0.0f && bc > 0.0f && ca > 0.0f) || (ab < 0.0f && bc < 0.0f && ca < 0.0f)) ? 1 : 0;
}

void RigidBody::UpdateRestCounter() {
    const float threshold = simulator->GetSleepThreshold();
    if (!(LengthSquared(linearVelocity) < threshold && LengthSquared(angularVelocity) < threshold)) {
        Vector4 a;
        Vector4 b;
        for (int i = 0; i < kHistoryLength; ++i) {
            a += velocityHistory[i];
            b += angularVelocityHistory[i];
        }
        a *= 1.0f / kHistoryLength;
        b *= 1.0f / kHistoryLength;
        // Falling straight down still counts towards rest.
        const Vector4& down = simulator->GetGravityDirection();
        const float along = Dot(a, down);
        if (along > 0.0f) {
            a -= down * along;
        }
        if (!(LengthSquared(a) <= kMeanSpeedLimit)) {
            restCounter = 0;
            return;
        }
        if (!(LengthSquared(b) <= kMeanTurnLimit)) {
            restCounter = 0;
            return;
        }
    }
    ++restCounter;
    if (restCounter > kSleepCountThree && stackNode != nullptr && SupportsHold() != 0) {
        const int32_t s = RestStability();
        if (s == 3 || (s == 2 && restCounter > kSleepCountTwo)) {
            Sleep();
        }
    }
}

int32_t RigidBody::RestStability() {
    if (!AnyComponentAtLeast(forceSum, 1e-6f)) {
        return 3;
    }
    const Vector4 f = Normalize(forceSum);
    Vector4 t1;
    Vector4 t2;
    BuildTangentBasis(t1, t2, f);
    auto project = [&](const SupportRecord& r) {
        const Vector4 p = r.ownerWorldPoint - position;
        return Vector4{Dot(p, t1), Dot(p, t2), 0.0f, 0.0f};
    };
    if (supportCount == 3) {
        Vector4 p[3];
        for (int i = 0; i < 3; ++i) {
            if (!supports[i].IsSupportResting()) {
                return 0;
            }
            p[i] = project(supports[i]);
        }
        return PointInEnlargedTriangle(p[0], p[1], p[2]) != 0 ? 3 : 0;
    }
    if (supportCount == 2) {
        Vector4 p[2];
        for (int i = 0; i < 2; ++i) {
            const SupportRecord& r = supports[supportIndices[i]];
            if (!r.InUse() || !r.IsSupportResting()) {
                return 0;
            }
            p[i] = project(r);
        }
        const Vector4 u = Normalize(p[1] - p[0]);
        const Vector4 closest = p[0] + u * Dot(-p[0], u);
        return Length(closest) < kBalanceTolerance ? 2 : 0;
    }
    if (supportCount == 1) {
        const SupportRecord& r = supports[supportIndices[0]];
        if (r.InUse() && r.IsSupportResting() && Length(project(r)) < kBalanceTolerance) {
            return 1;
        }
    }
    return 0;
}

int32_t RigidBody::IsSettled() {
    if (stepsSinceWake < kSettleWindow) {
        return 0;
    }
    const float rate = 1.0f / (static_cast<float>(kSettleWindow) * simulator->GetSubStep());
    if (Length(position - snapshotPosition) * rate > driftLimit ||
        Length(linearVelocity - snapshotLinearVelocity) * rate > kVelocityChangeLimit) {
        TakeWakeSnapshot();
        return 0;
    }
    const Vector4 conj{-snapshotOrientation.x, -snapshotOrientation.y, -snapshotOrientation.z, snapshotOrientation.w};
    const Vector4 d = QuatMultiply(orientation, conj);
    float theta = 0.0f;
    const float vectorPart = d.x * d.x + d.y * d.y + d.z * d.z;
    const float w = std::fmin(std::fmax(d.w, -1.0f), 1.0f);
    if (!(vectorPart < 1e-6f) && !(std::fabs(w - 1.0f) < 1e-6f)) {
        theta = 2.0f * std::acos(w);
    }
    if (theta * rate > kTurnRateLimit || Length(angularVelocity - snapshotAngularVelocity) * rate > kSpinChangeLimit) {
        TakeWakeSnapshot();
        return 0;
    }
    return 1;
}

int32_t RigidBody::SupportsHold() {
    if (stackNode == nullptr || stackNode->supportOnly == 1) {
        return 0;
    }
    if (supportCount != 2 && supportCount != 3) {
        return 0;
    }
    for (int i = 0; i < supportCount; ++i) {
        SupportRecord& r = supports[supportIndices[i]];
        // A record released since the rows were built (its supporter freed) holds nothing.
        if (!r.InUse()) {
            return 0;
        }
        Vector4 own = r.ownerPoint * rotation + position;
        const Vector4 sup = r.GetWorldContact();
        own.w = 0.0f;
        if (LengthSquared(own - sup) > kSupportGapLimit) {
            r.Release();
            supportCount = 0;
            return 0;
        }
    }
    return 1;
}

} // namespace Physics
