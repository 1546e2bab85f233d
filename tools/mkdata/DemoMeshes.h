#pragma once
// The demo objects' mesh files and textures (see DemoMeshes.cpp).
#include <filesystem>

#include "Render/MeshFile.h"

namespace fs = std::filesystem;

bool WriteDemoMeshes(const fs::path& gameRoot);

// Solids the other demo-data writers build their meshes from (see Box and FlatQuad).
void DemoBox(MeshFile::Node& node, const Vec3& lo, const Vec3& hi);
void DemoFlatQuad(MeshFile::Node& node, float x0, float y0, float x1, float y1, float z);

// The height of level 1's road at x: 100 m flat, two hills, a ramp with a drop after it (the jump),
// flat, a dip, flat to the end. The road runs along +X, 8 m wide, from x = -50 to 650.
float RoadHeight(float x);

// A node holding one box between two corners, in the node's own frame.
MeshFile::Node BoxNode(const char* name, const Vec3& lo, const Vec3& hi);

// The car's weapons, their muzzle flashes and the heavy gun's barrel, under the car's root (DemoWeapons.cpp).
void AddWeaponParts(MeshFile::Node& body);
// The scripted barrels' mesh and texture (DemoWeapons.cpp).
bool WriteDemoWeapons(const fs::path& gameRoot);
