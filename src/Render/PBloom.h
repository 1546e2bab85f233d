#pragma once
// The full-screen post passes of the renderer: a speed blur that smears the picture along the
// player car's motion in proportion to its speed, and a bloom that adds a blurred 256 x 192 copy
// of the picture back onto it and lays a noise texture over the screen. The shaders are data
// ("data/effects/bloom.fx", "bloom2.fx", "blur.fx"); this class hands them the targets and values.
//
// Every effect pass draws into a target it does not sample: the bloom ping-pongs between targets
// A and B, the blur draws from the back buffer (or, on a device that cannot let it be sampled, from
// its copy in F) into a second screen-sized target, and the composite takes the last one drawn. A
// blur of one pass from the copy in F draws onto the back buffer itself, blended as the composite.
#include <memory>
#include <string>
#include <vector>

#include "Core/Math/Vector.h"
#include "Platform/Device.h"
#include "Render/PEffectObject.h"
#include "Render/PRenderQueue.h"
#include "Render/ScreenQuad.h"

class CPRender;

// What the speed blur needs of the race: true with the player car's velocity while a level exists
// and is not finished. The race world installs it; without one there is no level.
using PlayerVelocitySource = bool (*)(Vec3& velocity);
void SetPlayerVelocitySource(PlayerVelocitySource source);
PlayerVelocitySource GetPlayerVelocitySource();

// The blur's speed factor f = |v| x 0.04 within 0..1 and its direction: the x and z components of
// the normalised velocity (all 0 without a level or without motion).
struct SpeedBlurValues {
    float factor = 0.0f;
    float fx = 0.0f;
    float fy = 0.0f;
};
SpeedBlurValues ComputeSpeedBlur();

class CPBloom : public CPPostPasses {
public:
    static constexpr int kSmallWidth = 256;
    static constexpr int kSmallHeight = 192;

    // `render` sets the texture filters back after each pass.
    explicit CPBloom(CPRender* render = nullptr);
    ~CPBloom() override;
    CPBloom(const CPBloom&) = delete;
    CPBloom& operator=(const CPBloom&) = delete;

    // Loads the effects and textures (what is missing is reported and left empty) and makes the
    // targets. Whatever an earlier Init loaded is released first. Fail without a device.
    bool Init(Platform::Device* device);
    // The targets A, B (256 x 192) and F, G (the back buffer's size); the screen quad follows the
    // back buffer's size.
    void CreateTargets();
    void ReleaseTargets();
    // Everything loaded and the device.
    void Release();
    void FrameStart() { fills_ = {}; }

    void SpeedBlur(float amount) override;
    void Bloom() override;

    bool IsEnabled() const { return enabled_; }
    // What the passes of this frame drew, in screens' worth of pixels: quads drawn and copies made.
    struct Fills {
        double quads = 0.0;
        double copies = 0.0;
    };
    const Fills& GetFrameFills() const { return fills_; }
    // Copy the back buffer into F for the speed blur even where the device lets it be sampled, as
    // the frame did before; for tests that hold the two pictures side by side.
    static void SetCopyBackBuffer(bool copy);
    // Draw a one-pass speed blur into G and lay G over the screen, as the frame did before, instead
    // of drawing it straight onto the screen; for tests that hold the two pictures side by side.
    static void SetBlurComposite(bool composite);
    float GetBlurClock() const { return blurClock_; }
    const ScreenQuad& GetSmallQuad() const { return smallQuad_; }
    const ScreenQuad& GetScreenQuad() const { return screenQuad_; }
    CPEffectObject* GetBloomEffect() const { return bloom_.effect.get(); }
    CPEffectObject* GetBloom2Effect() const { return bloom2_.effect.get(); }
    CPEffectObject* GetBlurEffect() const { return blur_.effect.get(); }
    const std::vector<CPEffectObject::Handle>& GetBloomTextureParameters() const { return bloom_.textures; }
    Platform::Texture* GetTarget(char which) const;
    Platform::Texture* GetBlurMask() const { return blurMask_.get(); }
    Platform::Texture* GetNoise() const { return noise_.get(); }

private:
    struct Effect {
        std::unique_ptr<CPEffectObject> effect;
        std::vector<CPEffectObject::Handle> textures; // every texture parameter, in order
    };

    void LoadEffect(const char* path, Effect& out);
    std::unique_ptr<Platform::Texture> LoadTexture(const char* path);
    void PostPassState();
    void PostPassEnd();
    void DrawQuad(const ScreenQuad& quad);
    // Runs every pass of the effect; answers the target drawn last (the source when nothing was
    // drawn).
    // Pass 0 draws from `source` into `first`, then each pass from the last one's target into the
    // other of `first` and `second`.
    Platform::Texture* RunPasses(Effect& effect, Platform::Texture* source, Platform::Texture* first,
                                 Platform::Texture* second, const ScreenQuad& quad, bool allTextures);
    // The blur's single pass drawn from F onto the back buffer, blended by its alpha; false, with
    // nothing drawn, when the effect cannot begin or has more than one pass.
    bool BlurOntoScreen();
    void CountFill(const Platform::Texture* target);
    void CountCopy(const Platform::Texture* target);

    CPRender* render_;
    Platform::Device* device_ = nullptr;
    std::unique_ptr<Platform::Texture> targetA_, targetB_, targetF_, targetG_;
    std::unique_ptr<Platform::Texture> blurMask_, noise_;
    float blurClock_ = 0.0f;
    Effect bloom_, bloom2_, blur_;
    CPEffectObject::Handle speedRatio_ = -1, forward_ = -1, fx_ = -1, fy_ = -1, tex0_ = -1, tex1_ = -1;
    float right_ = 1023.5f, bottom_ = 767.5f;
    bool enabled_ = true;
    ScreenQuad smallQuad_;
    ScreenQuad screenQuad_;
    Fills fills_;
};
