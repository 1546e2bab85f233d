#pragma once
// One effect file of "Data\Effects" as requested ("file[,shared]"), with the handles of its texture
// parameters "tex0", "tex1", ... up to the first gap.
#include <memory>
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Render/PDeviceListener.h"
#include "Render/PEffectObject.h"

class CPTextureBlock;

class CPEffect : public CPManagedObject, public CPDeviceListener {
public:
    CPEffect() = default;
    ~CPEffect() override;
    int GetObjectSize() const override { return sizeof(*this); }
    // "CPEffect - " followed by the name.
    const char* GetTypeName() const override { return typeName_.c_str(); }

    // Reads and compiles the effect its name and options ask for; an unreadable file compiles "simple.fx"
    // without the pool instead. False when no effect object results.
    bool Load(const std::string& specification);
    // Binds texture i of the block to "tex<i>" for i below both counts; further parameters keep
    // what they had.
    void SetTextures(const CPTextureBlock* block);

    const std::string& GetName() const { return name_; }
    CPEffectObject* GetEffectObject() const { return effect_.get(); }
    const std::vector<CPEffectObject::Handle>& GetTextureHandles() const { return textureHandles_; }
    // What the reader or the device said about the file, with its lines; empty when it loaded.
    const std::string& GetErrors() const { return errors_; }

    void OnLostDevice() override {}
    void OnResetDevice() override {}

private:
    std::unique_ptr<CPEffectObject> effect_;
    std::vector<CPEffectObject::Handle> textureHandles_;
    std::string name_;
    std::string typeName_ = "CPEffect - ";
    std::string errors_;
};
