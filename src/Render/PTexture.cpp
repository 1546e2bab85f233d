#include "Render/PTexture.h"

#include <cstdio>

#include "Core/PFileReader.h"
#include "Core/PLog.h"
#include "Core/PSettings.h"
#include "Core/PTokenizer.h"
#include "Render/PTextureManager.h"

int DragsterTextureIndex = 4;

CPTexture::~CPTexture() {
    if (CPTextureManager* manager = GetTextureManager()) manager->RemoveTexture(this);
}

bool CPTexture::Load(const std::string& specification) {
    CPTokenizer tokens(specification, ",", true);
    std::string file;
    tokens.NextToken(file);
    if (file == "dragster.tga") {
        char buf[32];
        std::snprintf(buf, sizeof buf, "dragster%02d.tga", DragsterTextureIndex);
        file = buf;
    }
    name_ = file;
    typeName_ = "CPTexture - " + name_;
    Platform::TextureOptions options;
    std::string option;
    while (tokens.NextToken(option)) {
        if (option == "nomip") options.Mipmaps = false;
        else if (option == "cube") options.Cube = true;
    }
    cube_ = options.Cube;
    // An empty name would read the folder itself.
    if (file.empty()) return false;
    CPFileReader reader("Data\\Textures\\" + file);
    if (FAILED(reader.Load())) {
        GetLog().Write(0, "%s cannot be read\n", reader.GetPath().c_str());
        return false;
    }
    CPTextureManager* manager = GetTextureManager();
    Platform::Device* device = manager ? manager->GetDevice() : nullptr;
    if (!device) return false;
    const Platform::DeviceResult result =
        device->CreateTextureFromMemory(reader.GetData(), static_cast<size_t>(reader.GetLength()), options, texture_);
    if (!Platform::DeviceOk(result)) {
        GetLog().Write(0, "DXError if %s on line %d\n%s\n%s\n", "CreateTextureFromMemory", __LINE__,
                       Platform::DeviceResultName(result), ("cannot create texture " + file).c_str());
        texture_.reset();
        return false;
    }
    cube_ = texture_->GetKind() == Platform::TextureKind::Cube;
    width_ = texture_->GetWidth();
    height_ = texture_->GetHeight();
    if (!cube_ && texture_->GetLevelCount() > 1 && g_texlod != -1) texture_->SetLOD(g_texlod);
    return true;
}
