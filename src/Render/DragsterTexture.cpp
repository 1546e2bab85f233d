#include "Render/DragsterTexture.h"

#include <cstdio>

#include "Core/PUtils.h"

namespace {
int g_dragsterTexture = 4;
}

int GetDragsterTextureNumber() { return g_dragsterTexture; }

void SetDragsterTextureNumber(int number) { g_dragsterTexture = number; }

std::string MapDragsterTexture(const std::string& name) {
    std::string lower = name;
    ToLower(lower);
    if (lower != "dragster.tga") return name;
    char text[32];
    std::snprintf(text, sizeof text, "dragster%02d.tga", g_dragsterTexture);
    return text;
}
