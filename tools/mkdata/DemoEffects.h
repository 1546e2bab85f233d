#pragma once
// The demo data of moving things and post passes (see DemoEffects.cpp).
#include <filesystem>

bool WriteDemoEffects(const std::filesystem::path& gameRoot);
