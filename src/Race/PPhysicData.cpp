#include "Race/PPhysicData.h"

#include <algorithm>
#include <cmath>

#include "Core/PGameObject.h"
#include "Core/PSettings.h"
#include "Race/PPhysics.h"

namespace {

Physics::Vector4 ToEngine(const Vec3& v) { return {v.x, v.y, v.z, 0.0f}; }

Physics::Vector4 NormalisedQuat(const Quat& q) {
    const float length = Length(q);
    if (!(length > 0.0f) || !std::isfinite(length)) return {0.0f, 0.0f, 0.0f, 1.0f};
    return {q.x / length, q.y / length, q.z / length, q.w / length};
}

float Divided(float mass) { return mass / static_cast<float>(WeightDivisor()); }

} // namespace

void CPPhysicData::SetBodyBox(float a, float b, float c, float mass) {
    body.kind = 0;
    body.a = a;
    body.b = b;
    body.c = c;
    body.mass = Divided(mass);
}

void CPPhysicData::AddBoxShape(const Vec3& position, const Quat& rotation, float a, float b, float c, float mass) {
    Shape shape;
    shape.type = 0;
    shape.position = position;
    shape.rotation = rotation;
    shape.a = a, shape.b = b, shape.c = c;
    shape.mass = Divided(mass);
    shapes.push_back(shape);
}

void CPPhysicData::AddCylinderShape(const Vec3& position, const Quat& rotation, float diameter, float length,
                                    float mass) {
    Shape shape;
    shape.type = 1;
    shape.position = position;
    shape.rotation = rotation;
    shape.a = 5.0f, shape.b = length, shape.c = 5.0f, shape.d = diameter;
    shape.mass = Divided(mass);
    shapes.push_back(shape);
}

void CPPhysicData::SetPosition(const Vec3& position) {
    if (animatedBody) animatedBody->SetPosition(ToEngine(position));
    else if (rigidBody) rigidBody->SetPosition(ToEngine(position));
}

void CPPhysicData::SetOrientation(const Quat& rotation) {
    if (animatedBody) animatedBody->SetOrientation(NormalisedQuat(rotation));
    else if (rigidBody) rigidBody->SetOrientation(NormalisedQuat(rotation));
}

CPRefPtr<CPBodyLink> CPPhysicData::CloneForOwner(CPGameObject* owner) const {
    CPRefPtr<CPPhysicData> copy(new CPPhysicData(owner));
    copy->body = body;
    copy->shapes = shapes;
    for (Shape& shape : copy->shapes) shape.geometry = nullptr;
    return copy;
}

Physics::Body* CPPhysicData::GetBody() const {
    if (rigidBody) return rigidBody;
    return animatedBody;
}

void CPPhysicData::AddToPhysics(int material) {
    if (HasBody()) return;
    if (CPPhysics* physics = GetPhysics()) physics->AddObject(owner_, true, material);
    SetupBody();
}

void CPPhysicData::SetupBody() {
    if (!rigidBody) return;
    rigidBody->SetLinearDamping(0.002f);
    rigidBody->SetAngularDamping(0.0025f);
    if (body.mass > 0.0f) {
        const Physics::Vector4 inertia = body.kind == 0 ? Physics::BoxInertia({body.b, body.c, body.a, 0.0f}, body.mass)
                                                        : Physics::CylinderInertia(body.diameter, body.a, body.mass);
        rigidBody->SetInertia(inertia);
    }
    rigidBody->SetMass(body.mass);
    if (owner_) {
        rigidBody->SetPosition(ToEngine(owner_->GetPosition()));
        rigidBody->SetOrientation(NormalisedQuat(owner_->GetRotation()));
    }
    if (controlled && !controller) controller = rigidBody->CreateController(this, 1);
    rigidBody->UpdateBounds();
}

void CPPhysicData::RemoveFromPhysics() {
    if (!HasBody()) return;
    if (CPPhysics* physics = GetPhysics()) physics->RemoveBody(*this);
}

void CPPhysicData::OnTick(Physics::Controller* controller, float subStep) {
    (void)controller, (void)subStep;
    if (!reapply || !rigidBody) return;
    rigidBody->SetAngularMomentum(ToEngine(storedMomentum));
    rigidBody->SetLinearVelocity(ToEngine(storedVelocity));
}
