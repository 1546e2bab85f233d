#pragma once
// One texture of "Data\Textures" with its options ("nomip": one mip level, "cube": a cube map of
// six squares side by side, or a cube DDS), shared through the texture manager.
#include <memory>
#include <string>

#include "Core/PManagedObject.h"
#include "Platform/Device.h"

// The paint number: a material that asks for exactly "dragster.tga" loads "dragster%02d.tga" of it.
// 4 at start; the shop's script sets it, the level loader sets it before each car it loads (the
// player's paint, the rival's paint plus 4). The one place the number lives.
extern int DragsterTextureIndex;

class CPTexture : public CPManagedObject {
public:
    CPTexture() = default;
    ~CPTexture() override;
    int GetObjectSize() const override { return sizeof(*this); }
    // "CPTexture - " followed by the name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // Reads and creates the texture of a specification ("file[,option]..."); false when the file
    // cannot be read or decoded, or there is no device.
    bool Load(const std::string& specification);

    // The resolved file name; empty for a texture that never loaded.
    const std::string& GetName() const { return name_; }
    bool IsCube() const { return cube_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // The device texture (2D or cube), or null without an image.
    Platform::Texture* GetDeviceTexture() const { return texture_.get(); }

private:
    std::unique_ptr<Platform::Texture> texture_;
    std::string name_;
    std::string typeName_ = "CPTexture - ";
    bool cube_ = false;
    int width_ = 0;
    int height_ = 0;
};
