#pragma once
// The level's sky as the renderer knows it. The sky itself lives on a floor above; the program's
// composition installs the hooks that make it, say whether a level exists and hand the sky the
// device. The renderer owns the current sky and draws it first in each frame, in the sky's own
// view and projection, while a level exists.
#include <memory>

#include "Platform/Device.h"
#include "Render/PRenderPass.h"

class CPSky {
public:
    virtual ~CPSky() = default;
    // One frame of the sky, with the frame time.
    virtual void Render(float frameTime) = 0;
};

struct SkyHooks {
    // Makes and loads the sky of "skyscape<number>.txt"; null when none can be made.
    std::unique_ptr<CPSky> (*make)(int number) = nullptr;
    // True while a level exists.
    bool (*levelExists)() = nullptr;
    // Gives the sky the renderer's device, and null when the device goes.
    void (*setDevice)(Platform::Device* device) = nullptr;
};

// The frame's sky pass: identity world, the sky view and projection, then the sky.
class CPSkyPass : public CPRenderPass {
public:
    Stage GetStage() const override { return Stage::Background; }
    void Draw(Platform::Device& device) override;

    void SetHooks(const SkyHooks& hooks) { hooks_ = hooks; }
    const SkyHooks& GetHooks() const { return hooks_; }
    void SetSky(std::unique_ptr<CPSky> sky) { sky_ = std::move(sky); }
    CPSky* GetSky() const { return sky_.get(); }
    // Whether the last frame drew the sky.
    bool DrewLastFrame() const { return drew_; }

private:
    SkyHooks hooks_;
    std::unique_ptr<CPSky> sky_;
    bool drew_ = false;
};
