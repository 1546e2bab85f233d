#pragma once
// A behaviour component that makes a game object a walking, fighting enemy: animations by name,
// melee and gun attacks on the animations' report marks, damage, death and its money reward. The
// object forwards its animation and damage events here. Nothing in the game attaches one to an
// object; the component is complete so that whatever does gets the whole behaviour.
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"
#include "Core/PGameObjectParts.h"

// A behaviour state by number. States do nothing while they are current: what a state would do
// has no source here, so a state only marks where the enemy is (1 after a fire volley, 4 dead).
struct CPEnemyState {
    explicit CPEnemyState(int n) : number(n) {}
    int number;
};

// The attack in progress: the report marks it has acted on since it was last (re)started.
class CPEnemyAction {
public:
    virtual ~CPEnemyAction() = default;
    virtual void Reset() { marks = 0; }
    virtual void OnMark() { ++marks; }
    int marks = 0;
};

// What melee animation n does when its mark fires.
struct CPEnemyMelee {
    int count = -1;    // the animation's report mark (frame); negative: none
    Vec3 attack;       // model space; its length is the reach
    Vec3 offset;       // model space, from the owner's position
    float impulse = 0; // along the attack direction
    float damage = 0;
};

class CPEnemyController : public CPObjectEventSink {
public:
    static constexpr int kStateAfterFire = 1;
    static constexpr int kStateDead = 4;

    CPEnemyController() = default;
    // Attaches itself to the owner; it detaches again when it goes.
    explicit CPEnemyController(CPGameObject* owner);
    virtual ~CPEnemyController();
    CPEnemyController(const CPEnemyController&) = delete;
    CPEnemyController& operator=(const CPEnemyController&) = delete;

    CPGameObject* GetOwner() const { return owner_.Get(); }

    // Starts the animation on the owner unless it is the one requested already and restart is
    // false. countFlag is the play count (1: once, then it stops), count its report mark.
    void SetAnimation(const std::string& name, int countFlag, bool restart, int count);
    void OnAnimationStopped();
    void OnAnimationReport();
    void Damage(const Vec3& point, const Vec3& direction, float amount, bool noBlood, bool oilOnly);

    // The state of that number, made when the table has none.
    CPEnemyState* GetState(int number);
    CPEnemyState* GetCurrentState() const { return current_; }
    // The state becomes current and its time starts again.
    void EnterState(int number);

    // The game object's side: a source object means no blood; silent means only an oily enemy
    // is hurt.
    void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent) override {
        Damage(point, direction, amount, source != nullptr, silent);
    }
    void NotifyAnimationStopped() override { OnAnimationStopped(); }
    void NotifyAnimationReport() override { OnAnimationReport(); }
    void SetGibs(bool flag) override { gibs = flag; }

    // The enemy's record, filled by whoever makes the enemy.
    CPEnemyAction action;
    float stateTime = 0;
    Vec3 facing;
    float health = 0;
    std::string weaponKind; // "hmgun", "rocket", "plasma", "mgun", "lgun", "shotgun", "explosion"
    int meleeCount = 0;
    AnimationRequest request;
    std::vector<CPEnemyMelee> melee; // melee animation n uses entry n - 1
    std::string bloodKind;           // "blood1" flesh, "oil1" machines
    bool hurt = false;
    float gibHeight = 0;
    int fireCount = 0;
    Vec3 muzzle; // model space
    int fireState = 0;
    bool ignoreDamage = false;
    bool gibs = false;
    std::string name;
    std::unordered_map<std::string, std::string> sounds; // "hit1", "hit2"
    int reward = 0;
    int rocketCounter = 0;
    bool dead = false;
    bool deathSent[2] = {false, false};

private:
    void TurnToPlayer();
    void Melee(int number, const char* soundKey);
    void Fire();
    // "enemy_death" to the category "level"; `flag` records who sent it: 0 (death by damage) sends
    // only when neither flag is set yet, 1 (the self-destructing attack) sends whatever they hold.
    void SendDeath(int flag);
    void Gibs();

    CPRefPtr<CPGameObject> owner_;
    std::map<int, std::unique_ptr<CPEnemyState>> states_;
    CPEnemyState* current_ = nullptr;
};
