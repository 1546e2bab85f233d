#pragma once
// The level's sky: a coloured, textured dome seen from inside, billboards (the first is the sun and
// lights the level), and clouds that change with random cloud states. One time-of-day layer holds
// for the whole race: the start layer of the file. Read from "Data\Clouds\skyscape<n>.txt".
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DynamicSky/Clouds.h"
#include "DynamicSky/SkyBillboard.h"
#include "DynamicSky/VertexObject.h"
#include "Render/PSky.h"

class SkyFile;

// One time-of-day layer; colours on 0..255 (x red, y green, z blue).
struct SkyLayer {
    struct Billboard {
        float angle = 0.0f; // radians
        int effect = 0;
        float scale = 0.0f;
        int advance = 0;
    };
    std::vector<Vec3> rows; // horizon first
    float duration = 0.0f;
    float domeAlpha = 0.0f;
    float domeAngle = 0.0f; // radians
    int grey = 0;           // channel 0..2
    Vec3 sun, ambient, cloudSun, cloudShade, fog;
    float reserved[3] = {};
    int doubling = 0;
    std::vector<Billboard> billboards;
};

struct SkyCloudState {
    float fadeTime = 0.0f;
    float baseDuration = 0.0f;
    float spread = 0.0f;
    std::string field;
    int reservedInts[6] = {};
    float reservedReals[3] = {};
    int overcast = 0;
    float probability = 0.0f;
};

class SkyCloudStateList {
public:
    // Appends the states of the cloud-state file in "Data\Clouds\".
    bool Load(const std::string& file);
    void Load(SkyFile& file);
    std::vector<SkyCloudState> states;
};

class Skyscape : public VertexObject, public CPSky {
public:
    // Refusals before a drawn state stands, when probabilities keep refusing.
    static constexpr int kMaxStateDraws = 100;
    // The dome's buffers hold n = 200 at most.
    static constexpr int kMaxSegments = 200;

    Skyscape();
    ~Skyscape() override;

    // Reads the file and everything it names. A sky that cannot be drawn (unreadable, no layer,
    // fewer than two colour rows, no cloud state) stays empty: its frame draws nothing and sets
    // black fog and a mid grey ambient.
    void Load(const std::string& file);
    // Loads from text already read (the rest still comes from "Data\Clouds\").
    void Load(SkyFile& file);
    void Render(float frameTime) override;

    void BuildDome(float radius, int segments, const Vec3& centre, float heightFactor);
    void StartLayer();
    void StartCloudState();

    // The dome's working vertices coloured from the current record and the sun's glow.
    void ColorDome();

    bool IsDrawable() const { return drawable_; }
    int GetSegments() const { return segments_; }
    int GetRingsPerBand() const { return ringsPerBand_; }
    const std::vector<SkyLayer>& GetLayers() const { return layers_; }
    int GetCurrentLayer() const { return layer_; }
    const SkyLayer& GetCurrent() const { return current_; }
    const SkyLayer& GetRate() const { return rate_; }
    float GetTimeScale() const { return timeScale_; }
    const std::vector<std::unique_ptr<SkyBillboard>>& GetBillboards() const { return billboards_; }
    const std::map<std::string, std::unique_ptr<CloudField>>& GetCloudFields() const { return fields_; }
    const std::vector<CloudField*>& GetActiveFields() const { return active_; }
    const SkyCloudStateList& GetCloudStates() const { return states_; }
    int GetCloudStateIndex() const { return stateIndex_; }
    float GetCloudStateClock() const { return stateClock_; }
    float GetStateDuration() const { return stateDuration_; }
    VolumeCloud& GetVolumeCloud() { return *volume_; }

private:
    float DrawStateDuration(const SkyCloudState& state) const;
    int ChooseNextState() const;
    void ReadLayer(SkyFile& file, SkyLayer& layer, int rows, int billboards);

    float radius_ = 0.0f, heightFactor_ = 0.0f;
    int segments_ = 0;
    Vec3 centre_;
    int ringsPerBand_ = 0;
    std::vector<SkyLayer> layers_;
    int rows_ = 0;
    int billboardCount_ = 0;
    int layer_ = 0;
    float layerClock_ = 0.0f;
    SkyLayer current_, rate_, tint_;
    float timeScale_ = 4.0f;
    std::vector<std::unique_ptr<SkyBillboard>> billboards_;
    std::map<std::string, std::unique_ptr<CloudField>> fields_;
    SkyCloudStateList states_;
    SkyCloudState state_;
    int stateIndex_ = 0;
    float stateClock_ = 0.0f;
    float stateDuration_ = 0.0f;
    float cloudFade_ = 0.0f;
    bool fadingIn_ = false;
    Vec3 windDirection_{1, 1, 0};
    float windSpeed_ = 5.0f;
    std::vector<CloudField*> active_;
    std::unique_ptr<VolumeCloud> volume_;
    bool drawable_ = false;
};

// Packs the colour as the device takes it and makes it the renderer's fog colour.
void SetSkyFogColor(float r, float g, float b);
// The renderer's ambient colour from 0..255 channels.
void SetSkyAmbient(float r, float g, float b);
// The level's sun light from a direction and a colour on 0..1, queued and handed to the device.
void SetSunLight(const Vec3& direction, const float color[4]);
// The packed colour SetSkyFogColor and SetSkyAmbient use.
uint32_t SkyPackColor(float r, float g, float b);
// The byte a 0..1 channel becomes in the sun light (its value is byte / 256).
int SkyLightByte(float channel);

// The renderer's sky maker: "skyscape<number>.txt".
std::unique_ptr<CPSky> MakeSkyscape(int number);
