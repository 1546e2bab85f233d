#include "Race/PCar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Core/PGlobalTimer.h"
#include "Core/PLog.h"
#include "Core/PRandom.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Race/PGameData.h"
#include "Race/PGameObjectXml.h"
#include "Race/PLevelBranch.h"
#include "Race/PPhysicData.h"
#include "Race/PPlayer.h"
#include "Race/PRaceEffects.h"
#include "Sound/NSound.h"

namespace {

CPRaceEffects* g_raceEffects = nullptr;

constexpr float kDegree = 0.017453292f;
constexpr float kPi = 3.14159265f;

using Physics::Vector4;

Vec3 ToVec3(const Vector4& v) { return {v.x, v.y, v.z}; }

void SendCommand(const char* script, const char* command, const std::string& params) {
    if (CPScriptManager* scripts = GetScriptManager()) scripts->SendCommandByName(script, command, params);
}

// A real attribute stored only when present and finite, so a default stands otherwise.
void ReadFinite(const TiXmlElement* element, const char* attribute, float& value) {
    float read;
    if (XmlReadReal(element, attribute, read) && std::isfinite(read)) value = read;
}

void ShowPart(CPGameObject& owner, const char* name, bool visible) {
    if (CPRefPtr<CPGameObject> part = owner.GetPartByName(name)) part->SetVisible(visible);
}

bool IsPartVisible(CPGameObject& owner, const char* name) {
    CPRefPtr<CPGameObject> part = owner.GetPartByName(name);
    return part && part->IsVisible();
}

} // namespace

void SetRaceEffects(CPRaceEffects* effects) { g_raceEffects = effects; }
CPRaceEffects* GetRaceEffects() { return g_raceEffects; }

CPCar::CPCar(CPGameObject* owner) : owner_(owner) {}

CPCar::~CPCar() = default;

CPPhysicData* CPCar::GetPhysicData() const {
    return owner_ ? dynamic_cast<CPPhysicData*>(owner_->GetPhysicData().Get()) : nullptr;
}

int CPCar::ClassBits() const {
    const auto* player = dynamic_cast<const CPPlayer*>(owner_);
    return player ? player->GetClassBits() : 0;
}

void CPCar::ReadParams(bool send) {
    if (!owner_) return;
    const TiXmlDocument& doc = owner_->GetDescription();
    std::string text;
    if (XmlReadText(XmlFindElement(&doc, {"physics"}), "debug", text)) debug = text == "true";
    const TiXmlElement* wheelsGeometry = XmlFindElement(&doc, {"physics", "geometry", "wheels"});
    float countValue;
    if (XmlReadReal(wheelsGeometry, "count", countValue) && std::isfinite(countValue))
        count = static_cast<int>(std::clamp(countValue, -1.0f, 3.0f)); // any data value converts; the clamp below logs
    ReadFinite(wheelsGeometry, "x", rayX);
    ReadFinite(wheelsGeometry, "y", rayHeight);
    ReadFinite(wheelsGeometry, "length", rayLength);
    ReadFinite(wheelsGeometry, "radius", wheelRadius);
    ReadFinite(wheelsGeometry, "front_min_radius", frontLimit);
    ReadFinite(wheelsGeometry, "back_min_radius", rearLimit);
    ReadFinite(wheelsGeometry, "width", width);
    if (XmlReadText(wheelsGeometry, "fixed", text)) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        fixedMin = text == "min";
        fixedMax = text == "max";
    }
    const TiXmlElement* springs = XmlFindElement(&doc, {"physics", "params", "wheels"});
    ReadFinite(springs, "spring1", springFront);
    ReadFinite(springs, "spring2", springRear);
    ReadFinite(springs, "damping", damping);
    const TiXmlElement* speedElement = XmlFindElement(&doc, {"physics", "params", "speed"});
    ReadFinite(speedElement, "max_front_speed", maxFrontSpeed);
    ReadFinite(speedElement, "max_rear_speed", maxRearSpeed);
    float angle = 0.0f, fovDiv = 0.0f, accelFront = 0.0f, accelBack = 0.0f, speedFront = 0.0f, speedBack = 0.0f;
    const bool hasAngle = XmlReadReal(speedElement, "angle", angle);
    XmlReadReal(XmlFindElement(&doc, {"camera"}), "fov_div", fovDiv);
    const TiXmlElement* acceleration = XmlFindElement(&doc, {"physics", "params", "acceleration"});
    XmlReadReal(acceleration, "accel_front", accelFront);
    XmlReadReal(acceleration, "accel_back", accelBack);
    XmlReadReal(acceleration, "speed_front", speedFront);
    XmlReadReal(acceleration, "speed_back", speedBack);
    const TiXmlElement* friction = XmlFindElement(&doc, {"physics", "params", "friction"});
    ReadFinite(friction, "front", frictionFront);
    ReadFinite(friction, "back", frictionBack);
    ReadFinite(friction, "slide", slide);
    ReadFinite(acceleration, "front", forwardFactor);
    ReadFinite(acceleration, "back", reverseFactor);
    ReadFinite(acceleration, "brake", brake);
    const TiXmlElement* inertion = XmlFindElement(&doc, {"physics", "params", "inertion"});
    ReadFinite(inertion, "yaw", yawFactor);
    ReadFinite(inertion, "pitch", pitchFactor);
    XmlReadText(XmlFindElement(&doc, {"render", "shadow"}), "name", shadowTexture);
    // Rays and wheel parts exist for two wheels only.
    if (count < 0 || count > kSensedWheels) {
        GetLog().Write(1, "car %s: wheel count %d clamped to 0..2\n", owner_->GetName().c_str(), count);
        count = std::clamp(count, 0, kSensedWheels);
    }
    if (hasAngle && send) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "%.2f,%.2f,%.2f,%.2f", angle, fovDiv, accelFront, accelBack);
        SendCommand("jeep", "set_car_params", buffer);
        std::snprintf(buffer, sizeof buffer, "%.2f,%.2f", speedFront, speedBack);
        SendCommand("jeep", "set_car_params2", buffer);
    }
}

void CPCar::Init(Physics::Simulator* world, bool player, int rearWheelChoice) {
    (void)world;
    isPlayer = player;
    burned = false;
    dusting = false;
    engineMoment = 0.0f;
    ReadParams(player);
    if (!owner_) return;
    static const char* const kRearParts[4] = {"w2", "w2_1", "w2_2", "w2_3"};
    wheels_[0].part = owner_->GetPartByName("w0");
    wheels_[1].part = owner_->GetPartByName(kRearParts[std::clamp(rearWheelChoice, 0, 3)]);
    CPPhysicData* data = GetPhysicData();
    if (!data || !data->rigidBody || !(data->body.mass > 0.0f)) {
        GetLog().Write(1, "car %s: no rigid body of positive mass; no wheels\n", owner_->GetName().c_str());
        return;
    }
    for (int k = 0; k < kSensedWheels; ++k) {
        Wheel& wheel = wheels_[k];
        const Vec3 partPosition = wheel.part ? wheel.part->GetPosition() : Vec3{};
        wheel.restOrigin = {partPosition.x * 1.1f - rayX, partPosition.y, rayHeight};
        for (int j = 0; j < kRaysPerWheel; ++j) {
            wheel.sensors[j] = data->rigidBody->CreateSensor();
            if (!wheel.sensors[j]) continue;
            const float a = float(j) * kPi / 16.0f;
            wheel.sensors[j]->SetRay({wheel.restOrigin.x, wheel.restOrigin.y, wheel.restOrigin.z, 0.0f},
                                     Vector4{0.0f, -std::cos(a), -std::sin(a), 0.0f} * rayLength);
        }
        wheel.visualOffset = wheelRadius - rayLength;
    }
    controller_ = data->rigidBody->CreateController(this, 0);
    data->SetupBody();
}

void CPCar::SetThrottle(float throttleInput, float liftInput) {
    if (burned) {
        throttle = 0.0f;
        lift = 0.0f;
        return;
    }
    throttle = throttleInput * (throttleInput < 0.0f ? reverseFactor : forwardFactor);
    lift = liftInput;
}

void CPCar::SetBoost(bool on) {
    if (on && nitroAmount > 0.0f) boost = 1.0f;
}

void CPCar::ApplyImpulse(const Vec3& point, const Vec3& impulse) {
    CPPhysicData* data = GetPhysicData();
    if (data && data->rigidBody)
        data->rigidBody->ApplyImpulseAtPoint({impulse.x, impulse.y, impulse.z, 0.0f},
                                             {point.x, point.y, point.z, 0.0f});
}

void CPCar::DropBodyHandles() {
    for (Wheel& wheel : wheels_)
        for (Physics::Sensor*& sensor : wheel.sensors) sensor = nullptr;
    controller_ = nullptr;
}

Quat CPCar::WheelRotation(float spin, float turn) {
    Quat q{std::sin(spin * 0.5f), 0.0f, 0.0f, std::cos(spin * 0.5f)};
    if (turn != 0.0f) q = QuatMultiply(q, Quat{0.0f, 0.0f, std::sin(turn * 0.5f), std::cos(turn * 0.5f)});
    return q;
}

float CPCar::WheelForce(int i, Vector4& force, Vector4& torque) {
    Wheel& wheel = wheels_[i];
    CPPhysicData* data = GetPhysicData();
    if (i >= kSensedWheels || !data || !data->rigidBody) return 0.0f;
    Physics::RigidBody& body = *data->rigidBody;
    const float k = i == 0 ? springFront : springRear;
    const float c = damping;
    Physics::Sensor* ray = nullptr;
    for (Physics::Sensor* candidate : wheel.sensors) {
        if (!candidate) continue;
        const float d = candidate->GetHitDepth();
        if (!(d > 0.0f) || d > rayLength) continue;
        const Physics::AnimatedBody* hit = candidate->GetHitAnimatedBody();
        bool tunnel = false;
        for (int slot = 0; slot < kTunnelSlots && !tunnel; ++slot) tunnel = GetTunnelSlot(slot) == hit;
        if (tunnel) continue;
        ray = candidate;
        break;
    }
    if (!ray) return 0.0f;
    const float d = ray->GetHitDepth();
    const Vector4 P = ray->GetHitPoint();
    wheel.contact = true;
    wheel.contactPoint = ToVec3(P);

    const float d9 = wheel.sensors[9] ? wheel.sensors[9]->GetHitDepth() : 0.0f;
    wheel.visualOffset = wheelRadius - (rayLength - d9);
    const float limit = i == 0 ? frontLimit : rearLimit;
    if (fixedMax) wheel.visualOffset = wheelRadius - rayLength;
    else if (fixedMin || wheel.visualOffset > limit) wheel.visualOffset = limit;

    const Vector4 X = body.GetPosition();
    const Vector4 n = ray->GetHitNormal();
    const Vector4 O =
        Physics::TransformPoint({wheel.restOrigin.x, wheel.restOrigin.y, wheel.restOrigin.z, 1.0f}, bodyMatrix);
    const Vector4 springForce = n * (d * k);
    force += springForce;
    torque += Physics::Cross(O - X, springForce);
    Vector4 u;
    body.GetPointVelocity(u, O - X);
    const Vector4 damper = n * (-c * Physics::Dot(u, n));
    force += damper;
    torque += Physics::Cross(O - X, damper);
    Vector4 vP;
    body.GetPointVelocity(vP, P - X);
    const Vector4 Y = bodyMatrix.row[1];
    wheel.rollingSpeed = -Physics::Dot(vP, Y);
    const Vector4 t = Physics::Cross(P - X, damper);
    torque += Vector4{t.x * yawFactor, t.y * yawFactor, t.z, 0.0f};
    if (held) {
        const Vector4 brakeForce = Y * (-Physics::Dot(vP, Y) * brake);
        force += brakeForce;
        torque += Physics::Cross(P - X, brakeForce * pitchFactor);
        return 0.0f;
    }
    if (i == 0) return 0.0f;
    const Vector4 drive{0.5f * throttle, 0.0f, 0.0f, 0.0f};
    force += drive;
    torque += Physics::Cross(P - X, drive * -pitchFactor);
    return 1.0f;
}

void CPCar::UpdateWheel(int i, float dt, float spinScale) {
    (void)dt;
    Wheel& wheel = wheels_[i];
    wheel.dustPoint = wheel.contactPoint;
    const bool rollingDust =
        wheel.contact && std::fabs(wheel.rollingSpeed) > 0.5f && std::fabs(wheel.rollingSpeed) < 10.5f;
    bool emit = false;
    if (!held) {
        if (!wheel.contact) {
            wheel.spin += spinScale * throttle;
        } else {
            dusting = false;
            wheel.spin += spinScale * wheel.rollingSpeed;
            dusting = rollingDust;
            emit = dusting && (ClassBits() & 4) == 0;
        }
    } else if (rollingDust) {
        dusting = true;
        emit = true;
    }
    if (emit && i >= 1 && g_dust != 0 && wheel.dustClock > 0.025f) {
        wheel.dustClock = 0.0f;
        if (g_raceEffects) g_raceEffects->EmitDust(dustType, wheel.dustPoint);
    }
    if (CPGameObject* part = wheel.part.Get()) {
        part->SetRotation(WheelRotation(wheel.spin, 0.0f));
        part->SetPosition({wheel.restOrigin.x, wheel.restOrigin.y, wheel.visualOffset});
    }
}

void CPCar::OnTick(Physics::Controller* controller, float dt) {
    CPPhysicData* data = GetPhysicData();
    if (!data || !data->rigidBody) return;
    Physics::RigidBody& body = *data->rigidBody;
    body.GetMatrix(bodyMatrix);
    bodyInverse = Physics::Matrix4::FromRotationAndPosition(Physics::Transpose(bodyMatrix.Rotation()), {});
    bodyInverse.row[3] = -(bodyMatrix.row[3] * bodyInverse.Rotation());
    bodyInverse.row[3].w = 1.0f;

    Vector4 F{}, T{};
    for (Wheel& wheel : wheels_) wheel.contact = false;
    float driven = 0.0f;
    for (int i = 0; i < count; ++i) driven += WheelForce(i, F, T);
    if (FrameCounter != frameStamp)
        for (int i = 0; i < count; ++i) wheels_[i].dustClock += (1.0f + float(EngineRand()) / 32767.0f) * dt;
    const float spinScale = throttle == 0.0f ? 1.0f : (1.0f - 0.5f * driven) * 0.025f;
    velocity = ToVec3(body.GetLinearVelocity());
    speed = Length(velocity);
    for (int i = 0; i < count; ++i) UpdateWheel(i, dt, spinScale);

    if (!burned) {
        const Vector4 f = -bodyMatrix.row[1];
        const float horizontal = std::sqrt(f.x * f.x + f.y * f.y);
        const float length = Physics::Length(f);
        const float A = length > 0.0f ? std::acos(std::clamp(horizontal / length, -1.0f, 1.0f)) : 0.0f;
        const float w = std::max(0.0f, lift * kDegree - std::fabs(A));
        T += bodyMatrix.row[0] * (-w * 100.0f * 0.16f * data->body.mass);
        const float degrees = std::fabs(A) / kDegree;
        SendCommand("game_interface", "danger", degrees > 55.0f ? "true" : "false");
        if (degrees > 80.0f) {
            const Vec3 position = ToVec3(body.GetPosition());
            if (g_raceEffects) g_raceEffects->CreateShot("rocket_exp2", position, {0, 0, 1});
            burned = true;
            if (g_raceEffects && owner_) {
                fireObject = g_raceEffects->CreateEmitterObject("fire1, 0, 0, 0.0, 0.015f, fire_, smoke_");
                if (fireObject) {
                    owner_->AddChild(fireObject);
                    owner_->Activate(200);
                }
            }
        }
    }

    Vector4 g{-bodyMatrix.row[1].x, 0.0f, -bodyMatrix.row[1].z, 0.0f};
    if (Physics::LengthSquared(g) < 0.000001f) g = {};
    else g = g * (1.0f / Physics::Length(g));
    const Vector4 push = g * (5000.0f * boost * dt);
    if (boost > 0.0f && boostSound && !boostSound->IsPlaying()) {
        boostSound->Rewind();
        boostSound->Play(0, 0);
    }
    if (throttle > 0.0f && owner_) Flicker();
    if (controller) {
        controller->SetForce(F + push);
        controller->SetTorque(T);
    }
    if (FrameCounter != frameStamp) PerFrame();
    offRoad = true;
}

void CPCar::Flicker() {
    auto flicker = [&](const char* name) { ShowPart(*owner_, name, (EngineRand() & 1) != 0); };
    flicker("flare01");
    flicker("flare05");
    if (IsPartVisible(*owner_, "engine1")) {
        flicker("flare02");
        flicker("flare06");
    }
    if (IsPartVisible(*owner_, "engine2")) {
        flicker("flare03");
        flicker("flare07");
        flicker("flare");
        flicker("flare04");
    }
}

void CPCar::PerFrame() {
    CPGameData* gameData = GetGameData();
    if (!gameData || !gameData->levelStarted) return;
    if (boost > 0.0f) {
        nitroAmount = std::max(0.0f, nitroAmount - FrameDelta * 300.0f);
        if (nitroAmount == 0.0f) boost = 0.0f;
    }
    if (engineSound) {
        if (!engineSound->IsPlaying()) engineSound->Play(0, 1);
        enginePitch += (std::min(2.0f, 2.0f * engineMoment + 0.5f) - enginePitch) * FrameDelta * 5.0f;
        engineSound->SetFrequencyScale(enginePitch);
    }
    frameStamp = FrameCounter;
}
