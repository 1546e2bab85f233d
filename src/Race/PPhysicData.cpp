#include "Race/PPhysicData.h"

#include "Core/PSettings.h"
#include "Physics/Physics.h"

namespace {
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
    shapes.push_back({0, position, rotation, a, b, c, 0.0f, Divided(mass)});
}

void CPPhysicData::AddCylinderShape(const Vec3& position, const Quat& rotation, float diameter, float length,
                                    float mass) {
    shapes.push_back({1, position, rotation, 5.0f, length, 5.0f, diameter, Divided(mass)});
}

void CPPhysicData::SetPosition(const Vec3& position) {
    const Physics::Vector4 p(position.x, position.y, position.z, 0.0f);
    if (animatedBody != nullptr) animatedBody->SetPosition(p);
    else if (rigidBody != nullptr) rigidBody->SetPosition(p);
}

void CPPhysicData::SetOrientation(const Quat& rotation) {
    const Physics::Vector4 q(rotation.x, rotation.y, rotation.z, rotation.w);
    if (animatedBody != nullptr) animatedBody->SetOrientation(q);
    else if (rigidBody != nullptr) rigidBody->SetOrientation(q);
}

CPRefPtr<CPBodyLink> CPPhysicData::CloneForOwner(CPGameObject* owner) const {
    CPRefPtr<CPPhysicData> copy(new CPPhysicData(owner));
    copy->body = body;
    copy->shapes = shapes;
    return copy;
}
