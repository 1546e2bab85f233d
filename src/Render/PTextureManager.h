#pragma once
// The texture cache and the shared, ordered texture blocks. The caches hold no references: a
// texture or block lives while something draws with it and leaves its cache when deleted.
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/PSingleton.h"
#include "Platform/Device.h"
#include "Render/PTexture.h"

// An ordered tuple of textures; texture i goes to the effect parameter "tex" followed by i.
class CPTextureBlock : public CPManagedObject {
public:
    explicit CPTextureBlock(std::vector<CPRefPtr<CPTexture>> textures) : textures_(std::move(textures)) {}
    ~CPTextureBlock() override;
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "CPTextureBlock"; }

    int GetCount() const { return static_cast<int>(textures_.size()); }
    CPTexture* GetTexture(int i) const { return textures_[static_cast<size_t>(i)].Get(); }

private:
    std::vector<CPRefPtr<CPTexture>> textures_;
};

class CPTextureManager : public CPSingleton<CPTextureManager> {
public:
    CPTextureManager();
    virtual ~CPTextureManager();

    // The texture a name-and-options text asks for: a plain file name that loaded once is shared; one with
    // options, or one that failed (then "error.tga" stands in), loads anew on every request.
    CPRefPtr<CPTexture> GetTexture(const std::string& specification);
    // The block of these textures in this order, shared by equal requests.
    CPRefPtr<CPTextureBlock> GetTextureBlock(const std::vector<std::string>& specifications);

    void RemoveTexture(CPTexture* texture);
    void RemoveTextureBlock(CPTextureBlock* block);

    // The device textures are made on; null until the renderer has one.
    void SetDevice(Platform::Device* device) { device_ = device; }
    Platform::Device* GetDevice() const { return device_; }

    size_t GetTextureCount() const { return textures_.size(); }
    size_t GetBlockCount() const { return blocks_.size(); }

private:
    std::unordered_map<std::string, CPTexture*> textures_;
    std::vector<CPTextureBlock*> blocks_;
    CPRefPtr<CPTexture> video_, video1_;
    Platform::Device* device_ = nullptr;
};

inline CPTextureManager* GetTextureManager() { return CPSingleton<CPTextureManager>::Instance(); }
