#pragma once
// The dragster texture number: a material that asks for "dragster.tga" gets "dragster%02d.tga" of
// this number. The level loader and the showroom set it before loading a car.
#include <string>

int GetDragsterTextureNumber();
void SetDragsterTextureNumber(int number);
// The texture file to load for a requested name: "dragster.tga" (any case) becomes
// "dragster%02d.tga" of the current number, anything else stays as it is.
std::string MapDragsterTexture(const std::string& name);
