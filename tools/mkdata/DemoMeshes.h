#pragma once
// The demo objects' mesh files and textures (see DemoMeshes.cpp).
#include <filesystem>

#include "Render/MeshFile.h"

namespace fs = std::filesystem;

bool WriteDemoMeshes(const fs::path& gameRoot);

// Solids the other demo-data writers build their meshes from (see Box and FlatQuad).
void DemoBox(MeshFile::Node& node, const Vec3& lo, const Vec3& hi);
void DemoFlatQuad(MeshFile::Node& node, float x0, float y0, float x1, float y1, float z);
