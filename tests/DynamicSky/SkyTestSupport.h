#pragma once
// A sky world on the null device: a renderer started on the null backend with the sky's hooks, a
// game root holding plain sky effects and textures, and sky files written by the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Core/PManagedObject.h"
#include "Core/PRandom.h"
#include "Core/PSettings.h"
#include "DynamicSky/SkyGlobals.h"
#include "DynamicSky/Skyscape.h"
#include "Platform/NullDevice.h"
#include "Race/PLevel.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"

namespace SkySupport {

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A skyscape file's parts, every value settable; Text() writes it in file order.
struct SkyText {
    struct Layer {
        float duration = 100, alpha = 255, angle = 0;
        int grey = 3;
        std::vector<Vec3> rows{{10, 20, 30}, {50, 60, 70}};
        Vec3 sun{255, 255, 255}, ambient{40, 50, 60}, cloudSun{200, 190, 180}, cloudShade{90, 80, 70},
            fog{100, 110, 120};
        int doubling = 0;
        struct Billboard {
            float angle = 0;
            int effect = 1;
            float scale = 1;
            int advance = 0;
        };
        std::vector<Billboard> billboards{Billboard{}};
    };
    struct Billboard {
        Vec3 direction{0.6f, 0, 0.8f};
        float size = 10, distance = 500, spin = 0;
        std::vector<std::string> textures{"data\\textures\\sun.tga"};
    };
    float timeScale = 1;
    int start = 0;
    float radius = 800, height = 0.5f;
    int segments = 64;
    Vec3 centre{0, 0, 0};
    int rows = 2;
    std::vector<Layer> layers{Layer{}};
    std::vector<Billboard> billboards{Billboard{}};
    std::vector<std::string> fields{"field.txt"};
    std::string states = "states.txt";

    std::string Text() const {
        std::ostringstream o;
        auto v = [&](const char* label, const Vec3& c) {
            o << label << ' ' << c.x << ' ' << c.y << ' ' << c.z << '\n';
        };
        o << "timescale " << timeScale << "\nstart " << start << "\nradius " << radius << "\nheight " << height
          << "\nsegments " << segments << '\n';
        v("centre", centre);
        o << "texture data\\textures\\dome.tga\neffect data\\effects\\dome.fx\nrows " << rows << "\nlayers "
          << layers.size() << "\nbillboards " << billboards.size()
          << "\nbb0 data\\effects\\bb0.fx\nbb1 data\\effects\\bb1.fx\nfields " << fields.size() << "\nstates " << states
          << '\n';
        for (const Layer& l : layers) {
            o << "duration " << l.duration << "\nalpha " << l.alpha << "\nangle " << l.angle << "\ngrey " << l.grey
              << '\n';
            for (const Vec3& r : l.rows) v("row", r);
            v("sun", l.sun);
            v("ambient", l.ambient);
            v("cloudsun", l.cloudSun);
            v("cloudshade", l.cloudShade);
            v("fog", l.fog);
            o << "r 0\nr 0\nr 0\ndouble " << l.doubling << '\n';
            for (const auto& b : l.billboards)
                o << "angle " << b.angle << "\neffect " << b.effect << "\nscale " << b.scale << "\nadvance "
                  << b.advance << '\n';
        }
        for (const Billboard& b : billboards) {
            v("direction", b.direction);
            o << "size " << b.size << "\ndistance " << b.distance << "\nspin " << b.spin << "\ncount "
              << b.textures.size() << '\n';
            for (const std::string& t : b.textures) o << "texture " << t << '\n';
        }
        for (const std::string& f : fields) o << "field " << f << '\n';
        return o.str();
    }
};

struct StateText {
    float fade = 5, base = 10, spread = 0.5f;
    std::string field = "field.txt";
    int overcast = 0;
    float probability = 1;
};

inline std::string StatesText(const std::vector<StateText>& states) {
    std::ostringstream o;
    o << "count " << states.size() << '\n';
    for (const StateText& s : states)
        o << "fade " << s.fade << "\nbase " << s.base << "\nspread " << s.spread << "\nfield " << s.field
          << "\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\nr 0\novercast " << s.overcast << "\nprobability " << s.probability
          << "\nr 0\n";
    return o.str();
}

// One cloud of two puffs around one core point, one unit thick.
inline const char* kCloudText = "cores 1\ncore 0 0 0\npuffs 2\n"
                                "offset -10 0 0\ncell 1 2\nturn 0\ncore 0\nsize 3 4\n"
                                "offset 10 0 2\ncell 0 0\nturn 0\ncore 0\nsize 3 4\n"
                                "rim 2\ncentre 2\nfactor 128\ns 255\ns 200\ns 128\ns 60\ns 0\n";

inline std::string FieldText(const std::vector<Vec3>& positions, float wind = 1, int wrap = 1, float half = 100) {
    std::ostringstream o;
    o << "offset 0 0 0\nwind " << wind << "\nwrap " << wrap << "\ncentre 0 0 0\nhalf " << half << "\nclouds "
      << positions.size() << '\n';
    for (const Vec3& p : positions)
        o << "cloud cloud.txt\nposition " << p.x << ' ' << p.y << ' ' << p.z << "\nscale 1\nturn 0\nreserved 0\n";
    return o.str();
}

class SkyWorld : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        g_screenWidth = 640;
        g_screenHeight = 480;
        SkySunPosition = Vec3();
        SkyWind = Vec3();
        CloudFadeTimeScale = CloudFieldTimeScale = 1.0f;
        SkyViewMatrix = MatIdentity();
        SkyViewInverse = MatIdentity();
        EngineSrand(1);
        for (const char* fx : {"dome.fx", "bb0.fx", "bb1.fx", "volume_cloud.fx", "skyscape_light.fx"})
            root_.Put(std::string("Data/Effects/") + fx,
                      Bytes("param texture2D tex0;\ntechnique T { pass P { fixed; } }\n"));
        for (const char* t : {"dome.tga", "sun.tga", "moon.tga", "cloud.tga"})
            root_.Put(std::string("Data/Textures/") + t, RenderSupport::SolidTga(2, 2, 0xFFFFFFFF));
        root_.Put("Data/Clouds/cloud.txt", Bytes(kCloudText));
        root_.Put("Data/Clouds/field.txt", Bytes(FieldText({{0, 300, 50}})));
        root_.Put("Data/Clouds/states.txt", Bytes(StatesText({StateText{}, StateText{}})));
        render_ = CPRefPtr<CPRender>(new CPRender());
        auto backend = std::make_unique<Platform::NullBackend>();
        backend_ = backend.get();
        render_->SetBackend(std::move(backend));
        render_->SetSkyHooks(SkyHooks{&MakeSkyscape, [] { return GetLevel() != nullptr; }, &SkyRenderer::SetDevice});
        ASSERT_TRUE(render_->Start());
    }
    void TearDown() override {
        level_.Reset();
        CurrentCamera.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        CPSettingsManager::ResetDefaults();
        SkySunPosition = Vec3();
    }
    Platform::NullDevice& Device() { return *backend_->lastDevice; }
    void PutSky(const std::string& name, const SkyText& sky) { root_.Put("Data/Clouds/" + name, Bytes(sky.Text())); }
    std::unique_ptr<Skyscape> Load(const SkyText& sky) {
        PutSky("test.txt", sky);
        auto s = std::make_unique<Skyscape>();
        s->Load("test.txt");
        return s;
    }
    void MakeLevel() { level_ = CPRefPtr<CPLevel>(new CPLevel()); }

    RenderSupport::ScopedGameRoot root_;
    CPRefPtr<CPRender> render_;
    Platform::NullBackend* backend_ = nullptr;
    CPRefPtr<CPLevel> level_;
};

inline int Red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int Green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int Blue(uint32_t c) { return static_cast<int>(c & 0xFF); }
inline int Alpha(uint32_t c) { return static_cast<int>(c >> 24); }

} // namespace SkySupport
