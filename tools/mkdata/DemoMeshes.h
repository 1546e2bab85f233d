#pragma once
// The demo objects' mesh files and textures (see DemoMeshes.cpp).
#include <filesystem>

namespace fs = std::filesystem;

bool WriteDemoMeshes(const fs::path& gameRoot);
