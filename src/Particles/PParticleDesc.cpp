#include "Particles/PParticleDesc.h"

CPParticleDesc::CPParticleDesc(const CPParticleDesc& other)
    : typeName(other.typeName),
      position(other.position),
      velocity(other.velocity),
      acceleration(other.acceleration),
      size(other.size),
      growth(other.growth),
      life(other.life),
      fade(other.fade),
      streak(other.streak),
      next(other.next ? other.next->CopyChain() : nullptr),
      listener(other.listener),
      listenerObject(other.listenerObject) {}

CPParticleDesc& CPParticleDesc::operator=(const CPParticleDesc& other) {
    if (this != &other) {
        CPParticleDesc copy(other);
        *this = std::move(copy);
    }
    return *this;
}

std::unique_ptr<CPParticleDesc> CPParticleDesc::CopyChain() const {
    auto head = std::make_unique<CPParticleDesc>();
    CPParticleDesc* to = head.get();
    for (const CPParticleDesc* from = this; from; from = from->next.get()) {
        to->typeName = from->typeName;
        to->position = from->position;
        to->velocity = from->velocity;
        to->acceleration = from->acceleration;
        to->size = from->size;
        to->growth = from->growth;
        to->life = from->life;
        to->fade = from->fade;
        to->streak = from->streak;
        if (from->next) {
            to->next = std::make_unique<CPParticleDesc>();
            to = to->next.get();
        }
    }
    return head;
}

CPParticle::CPParticle(const CPParticle& other)
    : position(other.position),
      previousPosition(other.previousPosition),
      velocity(other.velocity),
      lastVelocity(other.lastVelocity),
      acceleration(other.acceleration),
      growth(other.growth),
      size(other.size),
      age(other.age),
      life(other.life),
      fade(other.fade),
      cellRate(other.cellRate),
      angle(other.angle),
      streak(other.streak),
      next(other.next ? other.next->CopyChain() : nullptr),
      listener(other.listener),
      listenerObject(other.listenerObject) {}

CPParticle& CPParticle::operator=(const CPParticle& other) {
    if (this != &other) {
        CPParticle copy(other);
        *this = std::move(copy);
    }
    return *this;
}
