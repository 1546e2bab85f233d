#pragma once
// The description loader: builds game-object hierarchies (meshes, animated meshes, groups, sprites,
// lights, particle emitters) from ".rdf" descriptions in "Data\Meshes" and the mesh and key-frame
// files they name, and stand-alone particle-emitter objects.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Render/MeshFile.h"
#include "Render/RdfDescription.h"

class CPGameObject;
class CPPartAnimation;
class CPPhysicShapes;

// Parts of the floors above the renderer that descriptions ask for: physics data (the race world)
// and particle systems (the particles). The application installs one; without it nodes get no
// physics data and emitter objects no particle system.
class CPMeshPartMaker {
public:
    virtual ~CPMeshPartMaker() = default;
    // New physics data attached to the object; its shapes side, owned by the object.
    virtual CPPhysicShapes* MakePhysicData(CPGameObject& object) = 0;
    // A particle system drawn at `owner` from the emitter definitions, in order, every `interval`
    // seconds.
    virtual CPRefPtr<CPManagedObject> MakeParticleSystem(CPGameObject* owner, const std::vector<std::string>& names,
                                                         float interval) = 0;
};

// The animated-mesh file being read; vertex animations are named by the node name, "&" and it.
extern std::string CurrentAnimatedMeshFile;

class CPMeshManager : public CPSingleton<CPMeshManager> {
public:
    using Animations = std::map<std::string, CPRefPtr<CPPartAnimation>>;

    CPMeshManager();
    virtual ~CPMeshManager();

    // The root built from "Data\Meshes\<name>" with `layerOffset` added to every material type;
    // "wrong.rdf" stands in for a description that cannot be read, and null when neither can.
    CPRefPtr<CPGameObject> LoadRenderObject(const std::string& name, int layerOffset);
    // Material, flags, script, vertex effects, static mesh and key-frame animations of one part.
    void ApplySection(CPGameObject& object, const RdfSection& section, int layerOffset);
    // Lower-cased object name to its key-frame animation, from "Data\Animations\<file>"; empty when
    // the file cannot be read or is refused.
    Animations LoadAnimations(const std::string& file);

    // Builders over checked file records; each applies the node's section after its children.
    CPRefPtr<CPGameObject> ReadMesh(const MeshFile::Node& node, const RdfDescription& rdf, int layerOffset);
    CPRefPtr<CPGameObject> ReadP3dMesh(const MeshFile::Node& node, const RdfDescription& rdf, int layerOffset);
    CPRefPtr<CPGameObject> ReadAnimatedMesh(const MeshFile::AnimatedNode& node, const RdfDescription& rdf,
                                            int layerOffset, const std::string& animation);
    // Adds a further file's vertex animations under `animation` to the hierarchy the first file
    // built. A child name that is no part of its node stops the file there (false); what was added
    // stays.
    bool AddAnimationFile(CPGameObject& node, const MeshFile::AnimatedNode& record, const std::string& animation);

    // "name, x, y, z, interval, definition..." to an activated emitter object (priority 200).
    CPRefPtr<CPGameObject> CreateEmitterObject(const std::string& line);
    // An emitter object named "psystem" at the origin, not activated.
    CPRefPtr<CPGameObject> CreateParticleObject(const std::vector<std::string>& names, float interval);

    void SetPartMaker(CPMeshPartMaker* maker) { partMaker_ = maker; }
    uint32_t GetVertexColour() const { return vertexColour_; }
    void SetVertexColour(uint32_t colour) { vertexColour_ = colour; }
    const std::string& GetCurrentMeshName() const { return currentMeshName_; }

private:
    CPRefPtr<CPGameObject> Load(const std::string& name, int layerOffset, bool fallback);
    CPRefPtr<CPGameObject> BuildAnimated(const std::string& name, const RdfDescription& rdf, int layerOffset);
    CPRefPtr<CPGameObject> BuildFromMeshFile(const std::string& name, const RdfDescription& rdf, int layerOffset);
    CPRefPtr<CPGameObject> MeshNode(const MeshFile::Node& node, MeshFile::MeshKind kind, const RdfDescription& rdf,
                                    int layerOffset);
    void AddShapes(CPGameObject& object, CPPhysicShapes* physics, const std::vector<MeshFile::Shape>& shapes);
    // Part lines; `fields` limits the sprite fields read (6 or 10).
    void BuildSprite(CPGameObject& root, const std::string& line, const RdfDescription& rdf, int layerOffset,
                     int fields, bool animated, bool keepsStatic);
    void BuildLight(CPGameObject& root, const std::string& line);
    void BuildEmitter(CPGameObject& root, const std::string& line);
    CPRefPtr<CPGameObject> NewEmitter(const std::string& name, const std::vector<std::string>& definitions,
                                      float interval);

    uint32_t vertexColour_ = 0xFFFFFFFFu;
    std::string currentMeshName_;
    bool shadowTexturesGiven_ = false;
    std::string shadowDirectory_, shadowSuffix_, shadowEffectSuffix_;
    CPMeshPartMaker* partMaker_ = nullptr;
};

inline CPMeshManager* GetMeshManager() { return CPSingleton<CPMeshManager>::Instance(); }
