#pragma once
// The base of every scene object: a node of a tree with a position and rotation relative to its
// parent, cached matrices, collision boxes with two bounding boxes, at most one render part, optional
// physics data, an optional script that receives the object's events, an optional XML description and
// named key-frame animations.
#include <cstdint>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "Core/Math/Mat4.h"
#include "Core/Math/Quat.h"
#include "Core/Math/Vector.h"
#include "Core/PBoundingBox.h"
#include "Core/PGameObjectParts.h"
#include "Core/PHashMap.h"
#include "Core/PLuaScript.h"
#include "Core/PManagedObject.h"
#include "Core/POrientedBox.h"

class CPRayQuery;

// Where StartFlames gets a flame: a copy of flame system `index` (a task that is a render part),
// empty for an index the flame list does not have. The particles subsystem installs it; until then
// no flame is made.
using FlameSource = CPRefPtr<CPTask> (*)(int index);
void SetFlameSource(FlameSource source);

// The planar shadow projection of the level's light; all zero until a level builds it, and while it
// is zero no bounds are grown by it.
extern Mat4 ShadowMatrix;

// What PlayAnimation starts.
struct AnimationRequest {
    std::string name;
    float speed = 1.0f;
    int playCount = 0; // passes before the animation stops; 0 plays endlessly
    CPRefPtr<CPLuaScript> listener;
    int reportFrame = -1;    // frame that sends "animation_report"; -1 none
    float timeOffset = 0.0f; // seconds added to TotalTime at the start
};

class CPGameObject : public CPManagedObject {
public:
    enum RenderType {
        RenderMesh = 0,
        RenderAnimatedMesh = 1,
        RenderLight = 2,
        RenderSprite = 3,
        RenderParticles = 4,
        RenderNone = 5, // a plain group
    };
    using ObjectList = std::vector<CPRefPtr<CPGameObject>>;
    // An entry of the secondary object list. The first entry is the object itself and the recursive
    // setters skip it; nothing adds further entries, so the list stays that one entry.
    struct SecondaryEntry {
        CPGameObject* object; // no reference: the first entry is the object itself
        int value;
    };

    explicit CPGameObject(const std::string& name);
    ~CPGameObject() override;

    int GetObjectSize() const override { return sizeof(*this); }
    // "CPGameObject - " followed by the name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // Appends this object, then each child's subtree in order (pre-order).
    virtual void CollectObjects(ObjectList& objects);
    // Adds the object's animation, particle system and script to the kernel at this priority, the
    // children first activated; the script then gets "add_object" and holds one reference.
    virtual void Activate(int priority);
    // Stops the particle system and animation, deactivates the children and sends "delete_object".
    // The script keeps running and keeps its reference.
    virtual void Deactivate();
    // Takes over the source's boxes, parts, animations, children and transform (not its activity,
    // collision flag, engine body or descriptive texts). Each part copies itself for this object.
    virtual void CopyFrom(const CPRefPtr<CPGameObject>& source);
    // Sends "animation_end" to the script; called at the end of every animation pass.
    virtual void OnAnimationEnd();

    // Tree. A child is not taken from a previous parent; one added twice is listed twice. A child
    // that would close a loop (this object or one of its ancestors in the child lists) is refused.
    void AddChild(const CPRefPtr<CPGameObject>& child);
    // This object's own child-name entry, else the first answer of the children in order.
    CPRefPtr<CPGameObject> FindChild(const std::string& name) const;
    CPRefPtr<CPGameObject> GetParent() const { return CPRefPtr<CPGameObject>(parent_); }
    // The nearest object up the chain, this one included, that has a script, else the topmost one.
    CPRefPtr<CPGameObject> GetScriptOwner();
    // The own child-name entry only; an unknown name gets an empty entry and answers null.
    CPRefPtr<CPGameObject> GetPartByName(const std::string& name);
    const ObjectList& GetChildren() const { return children_; }
    CPGameObject* GetParentPointer() const { return parent_; }
    const std::vector<SecondaryEntry>& GetSecondaryObjects() const { return secondary_; }

    // Transform. The setters move the physics body at once; matrices follow at UpdateTransform.
    void SetPosition(const Vec3& position);
    void SetRotation(const Quat& rotation);
    void UpdateTransform();
    // The own box takes the given box's fields; the visibility bounds are set from it.
    void SetBoundingBox(const CPOrientedBox& box);
    void AddCollisionBox(const CPOrientedBox& box) { collisionBoxes_.push_back(box); }

    // Events.
    void Damage(const Vec3& point, const Vec3& direction, float amount, CPGameObject* source, bool silent);
    void NotifyAnimationStopped();
    void NotifyAnimationReport();
    // With an enemy controller: on an odd engine random number its gib flag becomes the argument.
    void MarkForGibsAtRandom(bool flag);

    // Animation.
    void AddAnimation(const std::string& name, const CPRefPtr<CPObjectAnimation>& animation);
    // Starts the animation on every animated-mesh part of the subtree.
    void PlayAnimation(const AnimationRequest& request, bool restart);

    // Render part and description.
    void ApplyAltMaterial();
    // Parses "Data\Descriptions\<description name>"; false (and an empty document) when the file
    // is missing or not well-formed XML.
    bool LoadDescription();
    // Creates the flame child of every object of the subtree that has a flame type.
    void StartFlames();
    // The nearest box of the subtree that the query's ray enters; see CPRayQuery.
    bool RayPick(CPRayQuery& query);

    // Script side (the race world's operations on the object).
    CPRefPtr<CPLuaScript> GetScript() const { return CPRefPtr<CPLuaScript>(script_); }
    CPLuaScript* GetScriptPointer() const { return script_; }
    // A null script changes nothing; otherwise the object and its children stop being static.
    void SetScript(CPLuaScript* script);
    // Sets the static flag of the whole subtree.
    void SetStatic(bool flag);

    // Accessors.
    const std::string& GetName() const { return name_; }
    const Vec3& GetPosition() const { return position_; }
    const Quat& GetRotation() const { return rotation_; }
    const Mat4& GetWorldMatrix() const { return worldMatrix_; }
    const Mat4& GetLocalMatrix() const { return localMatrix_; }
    const Mat4& GetParentMatrix() const { return parentMatrix_; }
    void SetParentMatrix(const Mat4& m) { parentMatrix_ = m; }
    const Mat4& GetBaseMatrix() const { return baseMatrix_; }
    void SetBaseMatrix(const Mat4& m) { baseMatrix_ = m; }
    bool IsDirty() const { return dirty_; }
    // Marks the matrices for rebuilding and the world matrix as not fresh.
    void MarkDirty() {
        dirty_ = true;
        transformFresh_ = false;
    }
    bool IsTransformFresh() const { return transformFresh_; }
    void SetTransformFresh(bool fresh) { transformFresh_ = fresh; }

    bool IsVisible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool IsCollision() const { return collision_; }
    void SetCollision(bool collision) { collision_ = collision; }
    bool IsStatic() const { return static_; }
    bool IsShadowBox() const { return shadow_; }
    void SetShadowBox(bool shadow) { shadow_ = shadow; }
    bool IsActive() const { return active_; }
    // The flag alone, without Activate's tasks and events (a dead enemy's body).
    void SetActive(bool active) { active_ = active; }
    bool IsContactSeen() const { return contactSeen_; }
    void SetContactSeen(bool seen) { contactSeen_ = seen; }

    int GetRenderType() const { return renderType_; }
    void SetRenderType(int type) { renderType_ = type; }
    const CPRefPtr<CPManagedObject>& GetRenderPart() const { return renderPart_; }
    void SetRenderPart(const CPRefPtr<CPManagedObject>& part) { renderPart_ = part; }
    // The physics data (Race's CPPhysicData) through its link.
    const CPRefPtr<CPBodyLink>& GetPhysicData() const { return physicData_; }
    void SetPhysicData(const CPRefPtr<CPBodyLink>& data) { physicData_ = data; }
    // The car model (Race's CPCar) of a car's object.
    const CarRef& GetCar() const { return car_; }
    void SetCar(const CarRef& car) { car_ = car; }
    // The enemy controller (Race's CPEnemyController) through its event side.
    CPObjectEventSink* GetEnemyController() const { return enemyController_; }
    void SetEnemyController(CPObjectEventSink* controller) { enemyController_ = controller; }

    int GetFlameType() const { return flameType_; }
    void SetFlameType(int type) { flameType_ = type; }

    TiXmlDocument& GetDescription() { return description_; }
    const TiXmlDocument& GetDescription() const { return description_; }
    const std::string& GetDescriptionName() const { return descriptionName_; }
    void SetDescriptionName(const std::string& name) { descriptionName_ = name; }
    const std::string& GetParameterText() const { return parameterText_; }
    void SetParameterText(const std::string& text) { parameterText_ = text; }
    const std::string& GetSourceDescription() const { return sourceDescription_; }
    void SetSourceDescription(const std::string& name) { sourceDescription_ = name; }
    std::vector<Vec3>& GetLineKeyPoints() { return lineKeyPoints_; }
    uint32_t GetLineColour() const { return lineColour_; }
    void SetLineColour(uint32_t colour) { lineColour_ = colour; }

    // Materials are Render's CPMaterial.
    const MaterialRef& GetExtraMaterial() const { return shadowMaterial_; }
    void SetShadowMaterial(const MaterialRef& material) { shadowMaterial_ = material; }
    const MaterialRef& GetAltMaterial() const { return altMaterial_; }
    void SetAltMaterial(const MaterialRef& material) { altMaterial_ = material; }

    bool HasAnimations() const { return hasAnimations_; }
    const CPHashMap<CPRefPtr<CPObjectAnimation>>& GetAnimations() const { return animations_; }
    const CPRefPtr<CPObjectAnimation>& GetCurrentAnimation() const { return currentAnimation_; }

    const CPOrientedBox& GetOwnBox() const { return ownBox_; }
    const std::vector<CPOrientedBox>& GetCollisionBoxes() const { return collisionBoxes_; }
    const CPBoundingBox& GetCollisionBounds() const { return collisionBounds_; }
    const CPBoundingBox& GetVisibilityBounds() const { return visibilityBounds_; }

protected:
    // Renames the object (its type name follows).
    void SetName(const std::string& name);

private:
    // The per-object part of UpdateTransform before and after the children.
    void BeginTransform();
    void FinishTransform();
    // Sends a command with this object's handle as its parameter to the script, when there is one.
    void SendToScript(const char* command, const std::string& params) const;

    TiXmlDocument description_;
    int flameType_ = -1;
    bool active_ = false;
    bool hasAnimations_ = false;
    // Engine maps: the 100 buckets asked for become 193.
    CPHashMap<CPRefPtr<CPObjectAnimation>> animations_;
    CPRefPtr<CPObjectAnimation> currentAnimation_;
    CPBoundingBox collisionBounds_;
    CPBoundingBox visibilityBounds_;
    CPOrientedBox ownBox_;
    std::vector<CPOrientedBox> collisionBoxes_;
    Mat4 parentMatrix_ = MatIdentity();
    Mat4 baseMatrix_ = MatIdentity();
    Mat4 localMatrix_ = MatIdentity();
    Mat4 worldMatrix_ = MatIdentity();
    Vec3 position_;
    Quat rotation_ = QuatIdentity();
    bool dirty_ = true;
    ObjectList children_;
    CPHashMap<CPRefPtr<CPGameObject>> childNames_;
    CPGameObject* parent_ = nullptr; // no reference: the parent holds its children
    std::vector<SecondaryEntry> secondary_;
    std::string name_;
    std::string typeName_;
    bool visible_ = true;
    bool static_ = true;
    CPLuaScript* script_ = nullptr; // no reference: the script manager holds its scripts
    bool collision_ = true;
    std::string parameterText_;
    std::string descriptionName_;
    CPObjectEventSink* enemyController_ = nullptr;
    MaterialRef shadowMaterial_;
    MaterialRef altMaterial_;
    bool contactSeen_ = false;
    std::vector<Vec3> lineKeyPoints_;
    uint32_t lineColour_ = 0xFF4E4E4Eu;
    std::string sourceDescription_;
    bool transformFresh_ = true;
    bool shadow_ = true;
    CPRefPtr<CPManagedObject> renderPart_;
    int renderType_ = RenderNone;
    CPRefPtr<CPBodyLink> physicData_;
    CarRef car_;
};
