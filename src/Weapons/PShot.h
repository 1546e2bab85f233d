#pragma once
// The base of every shot: a game object made from a named weapons.dat line, launched from a pool,
// stepped once a turn and handed back to its pool when its step answers false.
#include <string>
#include <vector>

#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PGameObject.h"

class CNSound;
class CPRenderObject;
class CPRayQuery;

using ShotParams = std::vector<std::string>;

class CPShot : public CPGameObject {
public:
    explicit CPShot(const std::string& shotName);
    ~CPShot() override;

    // A new shot of the same kind and name with the prototype's parameters; null when it can't be.
    virtual CPRefPtr<CPShot> Clone() = 0;
    // One frame; false once the shot has ended.
    virtual bool Update() = 0;
    virtual const std::string& GetShotName() const { return shotName_; }
    // Reads the kind's parameters; the base reads the sound spec (the last parameter).
    virtual bool Init(const ShotParams& params);
    virtual void Launch(const Vec3& position, const Vec3& direction, float damage, const CPRefPtr<CPGameObject>& owner,
                        void* extra);
    void CopySound(CPShot& target) const;
    // Ends the shot as its own end would, when the live shots are cleared before it ended.
    virtual void Abort() {}

    const Vec3& GetLaunchPosition() const { return position_; }
    const Vec3& GetLaunchDirection() const { return direction_; }
    float GetLaunchDamage() const { return launchDamage_; }
    const CPRefPtr<CNSound>& GetSound() const { return sound_; }
    bool IsSound2D() const { return sound2D_; }
    const std::string& GetSoundSpec() const { return soundSpec_; }
    CPRenderObject* GetQuad() const { return quad_.Get(); }

protected:
    // The shot's own render object becomes its render part again (after a model copy replaced it).
    void InstallQuad(const CPRefPtr<CPRenderObject>& quad);
    // Moves the object, its secondary entries and physics there, then recomputes the transform.
    void MoveTo(const Vec3& position, bool updateTransform = true);
    // Turns the model's -Y axis onto the direction.
    void Face(const Vec3& direction);
    // Copies the loaded description into the shot (load flags 0x14); false when nothing loaded.
    bool CopyModel(const std::string& name);

    Vec3 position_;
    Vec3 direction_;
    std::string shotName_;
    CPRefPtr<CNSound> sound_;
    std::string soundSpec_;
    float launchDamage_ = -1.0f;
    bool sound2D_ = false;
    CPRefPtr<CPRenderObject> quad_;
};

// ---- helpers every kind shares ----

// Parameter `index` counted from 1; "" past the list.
const std::string& ShotParam(const ShotParams& params, int index);
// Text to number as the runtime reads it: not a number, or not finite, reads 0.
float ShotParamFloat(const ShotParams& params, int index);
int ShotParamInt(const ShotParams& params, int index);
// Splits at the separator, double quotes honoured; empty pieces are kept.
std::vector<std::string> SplitShotText(const std::string& text, const char* separator);
// The rotation that turns -Y onto the direction; identity for a zero direction, a half turn about Z
// for +Y.
Quat ShotOrientation(const Vec3& direction);
// Uniform 0..1 from the engine generator.
float ShotRandom();
// The surface normal of a ray hit; a ray that started inside a box has none and takes the reverse
// flight direction.
Vec3 HitNormal(const CPRayQuery& query);
// The normal flattened onto the ground plane, as damage takes its direction.
Vec3 FlatDirection(const Vec3& v);
// The hit road's world test by side: the player's shots skip the player car, "enemy" ones don't.
bool CastShotRay(CPRayQuery& query, bool enemy);
// An impulse on the object's rigid body at the point; nothing without one.
void PushObject(CPGameObject* object, const Vec3& impulse, const Vec3& point);
// "shot" to the hit owner's script: owner and part handles and the damage.
void SendShotCommand(CPGameObject* owner, CPGameObject* part, float damage);
// The main camera's eye, or the origin.
Vec3 ShotCameraPosition();
// Rewrites a quad's four vertices (and their world copies) in world space.
void SetQuadVertices(CPRenderObject& quad, const Vec3 corners[4]);
// One particle of the type, no listener.
void EmitShotParticle(const std::string& type, const Vec3& position, float size, float life, bool fade,
                      const Vec3& velocity = Vec3(), const Vec3& acceleration = Vec3(), float growth = 0.0f);
// Material of the type with the effect and at most one texture; null without a material manager.
CPRefPtr<CPManagedObject> ShotMaterial(int type, const std::string& effect, const std::string& texture);
// Four vertices with the given texture coordinates and the indices 0 1 2 0 2 3. The corners are
// written in world space later, so the quad has no owner whose transform would move them again.
void BuildQuad(CPRenderObject& quad, const float uv[8]);
