#pragma once
// The records of the particle subsystem: a request for one particle (and the particles chained
// after it), a live particle, a colour key and an emitter definition.
#include <memory>
#include <string>

#include "Core/Math/Vector.h"
#include "Core/PManagedObject.h"

struct CPParticle;

// Called after every update of a particle with the descriptor's listener object.
using ParticleListener = void (*)(CPManagedObject* object, CPParticle& particle);

struct CPParticleDesc {
    CPParticleDesc() = default;
    // Copies the whole chain; the copied links after the first carry no listener.
    CPParticleDesc(const CPParticleDesc& other);
    CPParticleDesc& operator=(const CPParticleDesc& other);
    CPParticleDesc(CPParticleDesc&&) = default;
    CPParticleDesc& operator=(CPParticleDesc&&) = default;

    // A copy of this link and its chain without listeners: what a particle carries.
    std::unique_ptr<CPParticleDesc> CopyChain() const;

    std::string typeName;
    Vec3 position;
    Vec3 velocity;
    Vec3 acceleration;
    float size = 0.0f;
    float growth = 0.0f;
    float life = 0.0f;
    bool fade = false;
    bool streak = false;
    std::unique_ptr<CPParticleDesc> next; // fired at half the particle's life
    ParticleListener listener = nullptr;
    CPRefPtr<CPManagedObject> listenerObject;
};

struct CPParticle {
    CPParticle() = default;
    CPParticle(const CPParticle& other);
    CPParticle& operator=(const CPParticle& other);
    CPParticle(CPParticle&&) = default;
    CPParticle& operator=(CPParticle&&) = default;

    Vec3 position;
    Vec3 previousPosition;
    Vec3 velocity;
    Vec3 lastVelocity; // last non-zero velocity, for streaks that stopped
    Vec3 acceleration;
    float growth = 0.0f;
    float size = 0.0f;
    float age = 0.0f;
    float life = 0.0f;
    bool fade = false;
    float cellRate = 0.0f;
    float angle = 0.0f;
    bool streak = false;
    std::unique_ptr<CPParticleDesc> next;
    ParticleListener listener = nullptr;
    CPRefPtr<CPManagedObject> listenerObject;
};

struct CPColorKey {
    float alpha = 0.0f, red = 0.0f, green = 0.0f, blue = 0.0f;
    float size = 0.0f; // half edge
};

struct CPEmitterDef {
    float life = 0.0f;
    float growth = 0.0f;
    Vec3 direction = Vec3(0, 0, 1);
    float speed = 0.0f;
    Vec3 acceleration;
    float size = 1.0f;
    bool fade = true;
    std::string typeName;
    int cone = 0; // full angle in degrees
    Vec3 jitter;  // half extents of the start box
};
