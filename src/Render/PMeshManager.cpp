#include "Render/PMeshManager.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "Core/PFileFinder.h"
#include "Core/PFileReader.h"
#include "Core/PGameObject.h"
#include "Core/PLog.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"
#include "Render/PAnimatedObject.h"
#include "Render/PAnimation.h"
#include "Render/PAnimationManager.h"
#include "Render/PLight.h"
#include "Render/PMaterialManager.h"
#include "Render/PPartAnimation.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Render/PVertexEffect.h"
#include "Render/PhysicShapes.h"

std::string CurrentAnimatedMeshFile;

namespace {

// A section's "type" plus the layer offset, saturated at the ends of the int range: both come from
// data or a script and may be anything.
int MaterialType(const std::string& type, int offset) {
    const long long value = std::clamp<long long>(std::strtoll(type.c_str(), nullptr, 10), INT_MIN, INT_MAX);
    return static_cast<int>(std::clamp<long long>(value + offset, INT_MIN, INT_MAX));
}

std::vector<std::string> Split(const std::string& text, const char* delimiter) {
    std::vector<std::string> fields;
    CPTokenizer tokens(text, delimiter, true);
    std::string token;
    while (tokens.NextToken(token)) fields.push_back(token);
    return fields;
}

// Field `i` counted from 1; missing fields read as empty.
const std::string& Field(const std::vector<std::string>& fields, size_t i) {
    static const std::string empty;
    return i >= 1 && i <= fields.size() ? fields[i - 1] : empty;
}

// A decimal real up to the first character that cannot continue it ("0.015f" reads 0.015).
float Real(const std::vector<std::string>& fields, size_t i) {
    return static_cast<float>(std::strtod(Field(fields, i).c_str(), nullptr));
}

Vec3 Point(const std::vector<std::string>& fields, size_t first) {
    return {Real(fields, first), Real(fields, first + 1), Real(fields, first + 2)};
}

std::string Lower(std::string text) {
    ToLower(text);
    return text;
}

// The box of a box shape record: half extents (a/2, c/2, b/2), turned by the conjugate rotation
// and moved to the centre of the shape, half its height above the stored bottom centre.
CPOrientedBox ShapeBox(const MeshFile::Shape& shape) {
    CPOrientedBox box(Vec3(), Vec3(shape.a * 0.5f, shape.c * 0.5f, shape.b * 0.5f));
    box.localMatrix = MatRotationQuaternion(QuatConjugate(shape.rotation)) *
                      MatTranslation(shape.position.x, shape.position.y, shape.position.z + shape.b * 0.5f);
    return box;
}

} // namespace

CPMeshManager::CPMeshManager() = default;

CPMeshManager::~CPMeshManager() = default;

// ---- descriptions ----

CPRefPtr<CPGameObject> CPMeshManager::LoadRenderObject(const std::string& name, int layerOffset) {
    return Load(name, layerOffset, true);
}

CPRefPtr<CPGameObject> CPMeshManager::Load(const std::string& name, int layerOffset, bool fallback) {
    CPFileReader reader("Data\\Meshes\\" + name);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
        // "wrong.rdf" stands in once; a missing "wrong.rdf" ends there.
        if (fallback && Lower(name) != "wrong.rdf") return Load("wrong.rdf", layerOffset, false);
        return {};
    }
    const RdfDescription rdf = ParseRdf(reinterpret_cast<const char*>(reader.GetData()), reader.GetLength());

    if (!rdf.shadowTextures.empty()) {
        const std::vector<std::string> parts = Split(rdf.shadowTextures, ",");
        shadowDirectory_ = Field(parts, 1);
        shadowSuffix_ = Field(parts, 2);
        shadowEffectSuffix_ = Field(parts, 3);
        shadowTexturesGiven_ = true;
    }

    const std::vector<std::string> mainTokens = Split(rdf.mainValue, ";");
    CPRefPtr<CPGameObject> root;
    if (!mainTokens.empty() && mainTokens[0] == "anim") {
        root = BuildAnimated(name, rdf, layerOffset);
    } else if (rdf.mainValue == "empty") {
        root = CPRefPtr<CPGameObject>(new CPGameObject(name));
        root->SetRenderType(CPGameObject::RenderNone);
        for (const std::string& sprite : rdf.sprites) BuildSprite(*root, sprite, rdf, layerOffset, 10, false, true);
    } else {
        root = BuildFromMeshFile(name, rdf, layerOffset);
    }

    if (root && !rdf.description.empty()) {
        root->SetDescriptionName(rdf.description);
        root->LoadDescription();
    }
    shadowTexturesGiven_ = false;
    return root;
}

CPRefPtr<CPGameObject> CPMeshManager::BuildAnimated(const std::string& name, const RdfDescription& rdf,
                                                    int layerOffset) {
    const std::vector<std::string> tokens = Split(rdf.mainValue, ";");
    CPRefPtr<CPGameObject> root;
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::vector<std::string> pair = Split(tokens[i], ",");
        if (pair.size() < 2) continue; // no animation name and file
        const std::string& animation = pair[0];
        CurrentAnimatedMeshFile = pair[1];
        CPFileReader reader("Data\\Meshes\\" + pair[1]);
        if (FAILED(reader.Load())) {
            GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
            continue;
        }
        MeshFile::AnimatedMesh file;
        std::string error;
        if (!MeshFile::ReadAnimatedMesh(reader.GetData(), static_cast<size_t>(reader.GetLength()), file, error)) {
            GetLog().Write(0, "%s: %s\n", reader.GetPath().c_str(), error.c_str());
            continue;
        }
        if (!root) {
            root = ReadAnimatedMesh(file.root, rdf, layerOffset, animation);
            root->SetSourceDescription(name);
        } else if (!AddAnimationFile(*root, file.root, animation)) {
            GetLog().Write(0, "%s: a child is no part of the first file's hierarchy\n", reader.GetPath().c_str());
        }
        root->MarkDirty();
        root->UpdateTransform();
    }
    if (root)
        for (const std::string& sprite : rdf.sprites) BuildSprite(*root, sprite, rdf, layerOffset, 6, true, false);
    return root;
}

CPRefPtr<CPGameObject> CPMeshManager::BuildFromMeshFile(const std::string& name, const RdfDescription& rdf,
                                                        int layerOffset) {
    currentMeshName_ = Lower(rdf.mainValue);
    const MeshFile::MeshKind kind = MeshFile::KindOfFile(rdf.mainValue);
    CPFileReader reader("Data\\Meshes\\" + rdf.mainValue);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
        return {};
    }
    MeshFile::Mesh file;
    std::string error;
    if (!MeshFile::ReadMesh(reader.GetData(), static_cast<size_t>(reader.GetLength()), kind, file, error)) {
        GetLog().Write(0, "%s: %s\n", reader.GetPath().c_str(), error.c_str());
        return {};
    }

    CPRefPtr<CPGameObject> root;
    if (file.nodes.size() == 1) {
        root = MeshNode(file.nodes[0], kind, rdf, layerOffset);
    } else {
        root = CPRefPtr<CPGameObject>(new CPGameObject(name));
        root->SetRenderType(CPGameObject::RenderNone);
        for (const MeshFile::Node& node : file.nodes) root->AddChild(MeshNode(node, kind, rdf, layerOffset));
    }
    root->SetSourceDescription(name);
    // The trailer is read with the file and changes nothing.

    for (const std::string& point : rdf.lineKeyPoints) root->GetLineKeyPoints().push_back(Point(Split(point, ","), 1));
    if (!rdf.lineColor.empty())
        root->SetLineColour(static_cast<uint32_t>(std::strtoul(rdf.lineColor.c_str(), nullptr, 16)));
    for (const std::string& sprite : rdf.sprites) BuildSprite(*root, sprite, rdf, layerOffset, 10, false, false);
    for (const std::string& light : rdf.lights) BuildLight(*root, light);
    for (const std::string& emitter : rdf.psystems) BuildEmitter(*root, emitter);
    return root;
}

// ---- parts ----

void CPMeshManager::BuildSprite(CPGameObject& root, const std::string& line, const RdfDescription& rdf, int layerOffset,
                                int fields, bool animated, bool keepsStatic) {
    const std::vector<std::string> f = Split(line, ",");
    const float size = Real(f, 5);
    CPRefPtr<CPGameObject> object(new CPGameObject(Field(f, 1)));
    object->SetRenderType(CPGameObject::RenderSprite);
    CPRefPtr<CPSprite> sprite(new CPSprite(size));
    sprite->SetOwner(object.Get());
    object->SetRenderPart(sprite);
    object->SetShadowBox(false);
    if (!keepsStatic) object->SetStatic(false);
    object->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(size, size, size)));
    object->SetPosition(Point(f, 2));
    if (fields >= 10 && f.size() >= 10 && !Field(f, 10).empty()) sprite->SetDirection(Point(f, 7), Real(f, 10));
    ApplySection(*object, rdf.Section(object->GetName()), layerOffset);

    const std::string& parent = Field(f, 6);
    if (parent.empty()) {
        root.AddChild(object);
    } else if (CPRefPtr<CPGameObject> holder = root.FindChild(parent)) {
        holder->AddChild(object);
    } else if (!animated || parent == root.GetName()) {
        root.AddChild(object);
    }
}

void CPMeshManager::BuildLight(CPGameObject& root, const std::string& line) {
    const std::vector<std::string> f = Split(line, ",");
    CPRefPtr<CPGameObject> object(new CPGameObject(Field(f, 1)));
    object->SetRenderType(CPGameObject::RenderLight);
    CPRefPtr<CPLight> light(new CPLight(object.Get()));
    object->SetRenderPart(light);
    object->SetShadowBox(false);
    const Color colour(Real(f, 7), Real(f, 8), Real(f, 9), 0.0f);
    light->light.Type = 1; // point
    light->light.Diffuse = colour;
    light->light.Specular = colour;
    light->light.Ambient = colour;
    light->light.Range = Real(f, 11);
    light->light.Attenuation0 = 0.0f;
    light->light.Attenuation1 = Real(f, 10);
    light->light.Attenuation2 = 0.0f;
    const float range = light->light.Range;
    object->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(range, range, range)));
    object->SetPosition(Point(f, 4));

    const std::string& parent = Field(f, 2);
    if (parent == root.GetName()) root.AddChild(object);
    else if (CPRefPtr<CPGameObject> holder = root.FindChild(parent)) holder->AddChild(object);
}

void CPMeshManager::BuildEmitter(CPGameObject& root, const std::string& line) {
    const std::vector<std::string> f = Split(line, ",");
    const std::string& name = Field(f, 1);
    if (g_weather == 0 && (name == "snow" || name == "snow2" || name == "snow3")) return;
    const std::vector<std::string> definitions(f.size() > 6 ? f.begin() + 6 : f.end(), f.end());
    CPRefPtr<CPGameObject> object = NewEmitter(name, definitions, Real(f, 6));
    object->SetPosition(Point(f, 3));

    const std::string& parent = Field(f, 2);
    if (parent == root.GetName()) root.AddChild(object);
    else if (CPRefPtr<CPGameObject> holder = root.GetPartByName(parent)) holder->AddChild(object);
    // A misspelt line would otherwise lose its emitter without a trace.
    else
        GetLog().Write(0, "%s: psystem \"%s\" dropped, no part \"%s\"\n", root.GetName().c_str(), name.c_str(),
                       parent.c_str());
}

CPRefPtr<CPGameObject> CPMeshManager::NewEmitter(const std::string& name, const std::vector<std::string>& definitions,
                                                 float interval) {
    CPRefPtr<CPGameObject> object(new CPGameObject(name));
    object->SetRenderType(CPGameObject::RenderParticles);
    if (partMaker_ != nullptr)
        object->SetRenderPart(partMaker_->MakeParticleSystem(object.Get(), definitions, interval));
    object->SetShadowBox(false);
    object->SetBoundingBox(CPOrientedBox(Vec3(), Vec3(0.5f, 0.5f, 0.5f)));
    return object;
}

CPRefPtr<CPGameObject> CPMeshManager::CreateEmitterObject(const std::string& line) {
    const std::vector<std::string> f = Split(line, ",");
    const std::vector<std::string> definitions(f.size() > 5 ? f.begin() + 5 : f.end(), f.end());
    CPRefPtr<CPGameObject> object = NewEmitter(Field(f, 1), definitions, Real(f, 5));
    object->SetPosition(Point(f, 2));
    object->Activate(200);
    return object;
}

CPRefPtr<CPGameObject> CPMeshManager::CreateParticleObject(const std::vector<std::string>& names, float interval) {
    return NewEmitter("psystem", names, interval);
}

// ---- sections ----

void CPMeshManager::ApplySection(CPGameObject& object, const RdfSection& section, int layerOffset) {
    std::string effect = RdfValue(section, "effectfile");
    std::vector<std::string> textures{RdfValue(section, "texturefile1")};
    for (const char* key : {"texturefile2", "texturefile3", "texturefile4"})
        if (section.count(key)) textures.push_back(RdfValue(section, key));

    if (shadowTexturesGiven_) {
        const std::string texture = shadowDirectory_ + "\\" + object.GetName() + shadowSuffix_;
        const std::string shadowEffect =
            effect.substr(0, effect.size() >= 3 ? effect.size() - 3 : 0) + shadowEffectSuffix_;
        CPFileFinder textureFile("Data\\Textures\\" + texture);
        CPFileFinder effectFile("Data\\Effects\\" + shadowEffect);
        if (SUCCEEDED(textureFile.FindFirst()) && SUCCEEDED(effectFile.FindFirst())) {
            textures.push_back(texture);
            effect = shadowEffect;
        }
    }

    CPMaterialManager* materials = GetMaterialManager();
    CPRefPtr<CPMaterial> material;
    if (materials != nullptr)
        material = materials->GetMaterial(MaterialType(RdfValue(section, "type"), layerOffset), effect, textures);

    // Chosen by the shadow flag as it was before this section's "shadow" key.
    if (object.IsShadowBox()) {
        if (effect == "holey.fx") {
            if (materials != nullptr) object.SetShadowMaterial(materials->GetMaterial(16, "holey_shadow.fx", textures));
        } else if (GetRender() != nullptr) {
            object.SetShadowMaterial(GetRender()->GetShadowMaterial());
        }
    }

    CPManagedObject* part = object.GetRenderPart().Get();
    auto* mesh = object.GetRenderType() == CPGameObject::RenderMesh ? dynamic_cast<CPRenderObject*>(part) : nullptr;
    auto* animated =
        object.GetRenderType() == CPGameObject::RenderAnimatedMesh ? dynamic_cast<CPAnimatedObject*>(part) : nullptr;
    auto* sprite = object.GetRenderType() == CPGameObject::RenderSprite ? dynamic_cast<CPSprite*>(part) : nullptr;
    if (mesh) mesh->SetMaterial(material);
    if (animated) animated->SetMaterial(material);
    if (sprite) sprite->SetMaterial(material);

    if (section.count("visible")) object.SetVisible(std::atoi(RdfValue(section, "visible").c_str()) != 0);
    if (section.count("shadow")) object.SetShadowBox(std::atoi(RdfValue(section, "shadow").c_str()) != 0);
    if (section.count("param")) object.SetParameterText(RdfValue(section, "param"));
    if (section.count("collision")) object.SetCollision(std::atoi(RdfValue(section, "collision").c_str()) != 0);
    if (section.count("flametype")) object.SetFlameType(std::atoi(RdfValue(section, "flametype").c_str()));
    if (section.count("script") && GetScriptManager() != nullptr) {
        CPRefPtr<CPLuaScript> script = GetScriptManager()->GetScript(RdfValue(section, "script"));
        object.SetScript(script.Get());
    }

    if (section.count("vertexeffect")) {
        for (const std::string& entry : Split(RdfValue(section, "vertexeffect"), ";")) {
            const std::vector<std::string> words = Split(entry, " ");
            CPRefPtr<CPVertexEffect> built = CreateVertexEffect(Field(words, 1), Split(Field(words, 2), ","));
            if (!built) continue;
            if (mesh) {
                mesh->vertexEffects.push_back(built);
                mesh->hasVertexEffects = true;
            } else if (animated) {
                animated->vertexEffects.push_back(built);
                animated->hasVertexEffects = true;
            } else if (sprite) {
                sprite->vertexEffects.push_back(built);
                sprite->hasVertexEffects = true;
            }
            if (mesh || animated) object.SetStatic(false);
        }
    } else if (mesh && !mesh->isStatic && GetRender() != nullptr) {
        mesh->staticMesh = GetRender()->CreateStaticMesh(currentMeshName_ + object.GetName(), mesh->vertices.data(),
                                                         mesh->indices.data(), static_cast<int>(mesh->vertices.size()),
                                                         static_cast<int>(mesh->indices.size()));
        // The road keeps its vertices for the road's own use.
        if (object.GetName() != "road") {
            mesh->vertices.clear();
            mesh->worldVertices.clear();
            mesh->indices.clear();
        }
        mesh->isStatic = true;
    }

    if (section.count("animation")) {
        CPGameObject::ObjectList hierarchy;
        object.CollectObjects(hierarchy);
        for (const std::string& entry : Split(RdfValue(section, "animation"), ";")) {
            const std::vector<std::string> pair = Split(entry, ",");
            if (pair.size() < 2) continue;
            const Animations animations = LoadAnimations(pair[1]);
            for (const CPRefPtr<CPGameObject>& node : hierarchy) {
                auto found = animations.find(node->GetName());
                if (found == animations.end()) continue;
                found->second->SetTarget(node.Get());
                node->AddAnimation(pair[0], found->second);
            }
        }
    }
}

CPMeshManager::Animations CPMeshManager::LoadAnimations(const std::string& file) {
    Animations animations;
    CPFileReader reader("Data\\Animations\\" + file);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
        return animations;
    }
    MeshFile::KeyFrames keys;
    std::string error;
    if (!MeshFile::ReadKeyFrames(reader.GetData(), static_cast<size_t>(reader.GetLength()), keys, error)) {
        GetLog().Write(0, "%s: %s\n", reader.GetPath().c_str(), error.c_str());
        return animations;
    }
    for (const MeshFile::KeyObject& object : keys.objects) {
        CPRefPtr<CPPartAnimation> animation(new CPPartAnimation());
        for (const MeshFile::Key& key : object.keys) {
            // Stored column by column; the fourth column is (0, 0, 0, 1).
            Mat4 m = MatIdentity();
            for (int column = 0; column < 3; ++column)
                for (int row = 0; row < 4; ++row) m.m[row][column] = key.matrix[4 * column + row];
            animation->keyDurations.push_back(key.time);
            animation->keyMatrices.push_back(m);
        }
        animations[Lower(object.name)] = animation;
    }
    return animations;
}

// ---- mesh nodes ----

CPRefPtr<CPGameObject> CPMeshManager::ReadMesh(const MeshFile::Node& node, const RdfDescription& rdf, int layerOffset) {
    return MeshNode(node, MeshFile::MeshKind::Older, rdf, layerOffset);
}

CPRefPtr<CPGameObject> CPMeshManager::ReadP3dMesh(const MeshFile::Node& node, const RdfDescription& rdf,
                                                  int layerOffset) {
    return MeshNode(node, MeshFile::MeshKind::P3d, rdf, layerOffset);
}

CPRefPtr<CPGameObject> CPMeshManager::MeshNode(const MeshFile::Node& node, MeshFile::MeshKind kind,
                                               const RdfDescription& rdf, int layerOffset) {
    CPRefPtr<CPGameObject> object(new CPGameObject(Lower(node.name)));
    object->SetRenderType(CPGameObject::RenderMesh);
    CPRefPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    mesh->vertices = node.vertices;
    for (CPVertex& v : mesh->vertices) v.diffuse = vertexColour_;
    mesh->worldVertices = mesh->vertices;
    mesh->indices = node.indices;
    object->SetRenderPart(mesh);

    if (kind == MeshFile::MeshKind::Older) {
        for (const MeshFile::CollisionRecord& box : node.boxes)
            object->AddCollisionBox(CPOrientedBox(box.Centre(), box.HalfExtents()));
    } else {
        CPPhysicShapes* physics = partMaker_ != nullptr ? partMaker_->MakePhysicData(*object) : nullptr;
        if (physics != nullptr) physics->SetBodyBox(node.body.a, node.body.b, node.body.c, node.body.mass);
        object->SetPosition(node.pose.position);
        object->SetRotation(QuatConjugate(node.pose.rotation));
        Vec3 lo(5000000.0f, 5000000.0f, 5000000.0f);
        Vec3 hi(-500000.0f, -5000000.0f, -500000.0f);
        for (const CPVertex& v : node.vertices) {
            lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
            hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
        }
        object->SetBoundingBox(CPOrientedBox((lo + hi) * 0.5f, (hi - lo) * 0.5f));
        AddShapes(*object, physics, node.shapes);
    }

    for (const MeshFile::Node& child : node.children) object->AddChild(MeshNode(child, kind, rdf, layerOffset));
    ApplySection(*object, rdf.Section(object->GetName()), layerOffset);
    return object;
}

void CPMeshManager::AddShapes(CPGameObject& object, CPPhysicShapes* physics,
                              const std::vector<MeshFile::Shape>& shapes) {
    for (const MeshFile::Shape& shape : shapes) {
        if (shape.kind == 0) {
            if (physics != nullptr) {
                const Vec3 centre(shape.position.x, shape.position.y, shape.position.z + shape.b * 0.5f);
                physics->AddBoxShape(centre, shape.rotation, shape.a, shape.b, shape.c, shape.mass);
            }
            object.AddCollisionBox(ShapeBox(shape));
        } else if (shape.kind == 1 && physics != nullptr) {
            physics->AddCylinderShape(shape.position, QuatConjugate(shape.rotation), shape.d, shape.b, shape.mass);
        }
    }
}

// ---- animated nodes ----

CPRefPtr<CPGameObject> CPMeshManager::ReadAnimatedMesh(const MeshFile::AnimatedNode& node, const RdfDescription& rdf,
                                                       int layerOffset, const std::string& animation) {
    CPRefPtr<CPGameObject> object(new CPGameObject(Lower(node.name)));
    // Without body mass the node has no physics data, and its shapes add no physics shapes.
    CPPhysicShapes* physics = nullptr;
    if (node.body.mass > 0.0f && partMaker_ != nullptr) {
        physics = partMaker_->MakePhysicData(*object);
        if (physics != nullptr) physics->SetBodyBox(node.body.a, node.body.b, node.body.c, node.body.mass);
    }

    object->SetRenderType(CPGameObject::RenderAnimatedMesh);
    CPRefPtr<CPAnimatedObject> part(new CPAnimatedObject(object.Get()));
    object->SetRenderPart(part);
    CPRefPtr<CPAnimation> frames;
    if (CPAnimationManager* manager = GetAnimationManager()) {
        frames = manager->Get(object->GetName() + "&" + CurrentAnimatedMeshFile, node.animation);
        part->AddAnimation(animation, frames);
    }

    if (node.bounds.mass > 0.0f) object->SetBoundingBox(ShapeBox(node.bounds));
    else if (frames) object->SetBoundingBox(frames->box);
    AddShapes(*object, physics, node.shapes);

    for (const MeshFile::AnimatedNode& child : node.children)
        object->AddChild(ReadAnimatedMesh(child, rdf, layerOffset, animation));
    ApplySection(*object, rdf.Section(object->GetName()), layerOffset);
    return object;
}

bool CPMeshManager::AddAnimationFile(CPGameObject& node, const MeshFile::AnimatedNode& record,
                                     const std::string& animation) {
    auto* part = dynamic_cast<CPAnimatedObject*>(node.GetRenderPart().Get());
    CPAnimationManager* manager = GetAnimationManager();
    if (part != nullptr && manager != nullptr)
        part->AddAnimation(animation, manager->Get(node.GetName() + "&" + CurrentAnimatedMeshFile, record.animation));
    for (const MeshFile::AnimatedNode& child : record.children) {
        CPRefPtr<CPGameObject> next = node.GetPartByName(Lower(child.name));
        if (!next || !AddAnimationFile(*next, child, animation)) return false;
    }
    return true;
}
