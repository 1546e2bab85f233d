#pragma once
// Minimal physics data of a game object: its body description and shape list, as a copied object
// takes them over, and the two pose setters the object calls. Creating engine bodies, and moving
// them in the setters, come with the race world's physics task.
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObjectParts.h"

class CPGameObject;

class CPPhysicData : public CPBodyLink {
public:
    struct BodyDescription {
        int kind = 0; // 0 box, 1 cylinder
        float a = 0.0f, b = 0.0f, c = 0.0f;
        float diameter = 0.0f;
        float mass = 0.0f;
    };
    struct Shape {
        int type = 0; // 0 box, 1 cylinder
        Vec3 position;
        Quat rotation = QuatIdentity();
        float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
        float mass = 0.0f;
    };

    explicit CPPhysicData(CPGameObject* owner) : owner_(owner) {}
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPPhysicData"; }

    // Move and turn the engine body when there is one; nothing without a body.
    void SetPosition(const Vec3& position) override { (void)position; }
    void SetOrientation(const Quat& rotation) override { (void)rotation; }
    virtual bool HasBody() const { return false; }
    // The body description and shape list for the copy; no engine body.
    CPRefPtr<CPBodyLink> CloneForOwner(CPGameObject* owner) const override {
        CPRefPtr<CPPhysicData> copy(new CPPhysicData(owner));
        copy->body = body;
        copy->shapes = shapes;
        return copy;
    }

    CPGameObject* GetOwner() const { return owner_; }

    BodyDescription body;
    std::vector<Shape> shapes;

private:
    CPGameObject* owner_; // no reference: the owner holds its physics data
};
