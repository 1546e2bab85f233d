// Interface screens on the real device, read back at 1024 x 768: a window texel for pixel where
// its file puts it, a button's three states following the mouse, a text's ink inside the glyph
// boxes its font gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "Core/PSettings.h"
#include "Interface/PFontFile.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterface.h"
#include "Platform/Audio.h"
#include "Platform/GlDevice.h"
#include "Render/PMaterialManager.h"
#include "Render/PRender.h"
#include "Render/RenderTestSupport.h"
#include "Sound/NAudio.h"
#include "Sound/SoundTestSupport.h"

namespace {

const bool g_videoDriverChosen = [] {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return true;
}();

constexpr int W = 1024, H = 768;

uint32_t Rgb(uint32_t argb) { return argb & 0xFFFFFF; }

std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The renderer, the material manager and the font manager as the game makes them, in a fresh root
// holding the data set's effects.
class ScreenFixture : public ::testing::Test {
protected:
    void SetUp() override {
        (void)g_videoDriverChosen;
        CPSettingsManager::ResetDefaults();
        g_screenWidth = W;
        g_screenHeight = H;
        g_fullScreen = 0;
        root_ = std::make_unique<RenderSupport::ScopedGameRoot>();
        const std::filesystem::path effects = std::filesystem::path(VASTREL_SOURCE_DIR) / "data" / "Data" / "Effects";
        for (const auto& e : std::filesystem::directory_iterator(effects))
            root_->Put("Data/Effects/" + e.path().filename().string(), ReadBytes(e.path()));
        root_->Put("Data/Textures/error.tga", RenderSupport::SolidTga(2, 2, 0xFFFF00FF));
    }
    // After the game root's files are in place.
    void Start() {
        materials_ = std::make_unique<CPMaterialManager>();
        render_ = CPRefPtr<CPRender>(new CPRender());
        render_->SetBackend(Platform::CreateGlBackend());
        if (!render_->Start()) GTEST_SKIP() << "no OpenGL 3.3 context can be made here";
        fonts_ = std::make_unique<CPFontManager>();
        fonts_->LoadFonts();
    }
    void TearDown() override {
        screen_.Reset();
        if (render_ && render_->GetDevice()) render_->Stop();
        render_.Reset();
        CPManagedObject::CollectGarbage();
        fonts_.reset();
        materials_.reset();
        CPManagedObject::CollectGarbage();
        root_.reset();
        CPSettingsManager::ResetDefaults();
    }
    std::vector<uint32_t> Frame() {
        ++FrameCounter;
        screen_->Draw();
        render_->Update();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_EQ(render_->GetDevice()->ReadBackBuffer(pixels, w, h), Platform::DeviceResult::Ok);
        EXPECT_EQ(w, W);
        EXPECT_EQ(h, H);
        pixels.resize(static_cast<size_t>(W) * H);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return Rgb(p[static_cast<size_t>(y) * W + x]); }

    std::unique_ptr<RenderSupport::ScopedGameRoot> root_;
    std::unique_ptr<CPMaterialManager> materials_;
    CPRefPtr<CPRender> render_;
    std::unique_ptr<CPFontManager> fonts_;
    CPRefPtr<CPInterface> screen_;
};

// The fixture texture: the window's 64 x 32 texels each their own colour, then the button's three
// states in solid colours, and a cursor cell left transparent.
constexpr uint32_t kNormal = 0x0000C0, kOver = 0x00C000, kPressed = 0xC00000;
uint32_t WindowTexel(int u, int v) {
    return static_cast<uint32_t>(u * 4) << 16 | static_cast<uint32_t>(v * 8) << 8 | 0x40;
}

// The fixture font: cells of 16 x 16 in a 256 x 160 atlas, advance 8 (10 with the margin of 2);
// each glyph's ink fills texels 1-8 across and 2-13 down of its cell, in a colour of its own.
constexpr int kInkLeft = 1, kInkRight = 9, kInkTop = 2, kInkBottom = 14;
const uint8_t kGlyphs[] = {'A', 'B', 'C', 0xE9};
uint32_t GlyphColour(uint8_t code) {
    return static_cast<uint32_t>(code) << 16 | static_cast<uint32_t>(255 - code) << 8 | 0x80;
}

class InterfaceScreenTest : public ScreenFixture {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        std::vector<uint32_t> texture(256 * 256, 0);
        auto set = [&](int x, int y, uint32_t argb) { texture[static_cast<size_t>(y) * 256 + x] = argb; };
        for (int v = 0; v < 32; ++v)
            for (int u = 0; u < 64; ++u) set(u, v, 0xFF000000u | WindowTexel(u, v));
        const uint32_t states[3] = {kNormal, kOver, kPressed};
        for (int s = 0; s < 3; ++s)
            for (int v = 64; v < 96; ++v)
                for (int u = 0; u < 64; ++u) set(s * 64 + u, v, 0xFF000000u | states[s]);
        root_->Put("Data/Textures/screen.tga", RenderSupport::MakeTga(256, 256, texture));

        FontFileData font;
        font.width = 256, font.height = 160, font.cellWidth = 16, font.cellHeight = 16;
        std::vector<uint32_t> atlas(256 * 160, 0);
        for (size_t i = 0; i < std::size(kGlyphs); ++i) {
            font.cells.push_back({kGlyphs[i], 8.0f});
            const int cx = static_cast<int>(i % kFontColumns) * 16, cy = static_cast<int>(i / kFontColumns) * 16;
            for (int y = kInkTop; y < kInkBottom; ++y)
                for (int x = kInkLeft; x < kInkRight; ++x)
                    atlas[static_cast<size_t>(cy + y) * 256 + cx + x] = 0xFF000000u | GlyphColour(kGlyphs[i]);
        }
        std::string fnt;
        ASSERT_TRUE(WriteFontFile(font, fnt));
        root_->Put("Data/Fonts/glyphs.fnt", std::vector<uint8_t>(fnt.begin(), fnt.end()));
        root_->Put("Data/Textures/glyphs.tga", RenderSupport::MakeTga(256, 160, atlas));
        const std::string list = FormatFontListLine({"glyphs", 2.0f, 0, 0}) + "\n";
        root_->Put("Data/Fonts/fonts.dat", std::vector<uint8_t>(list.begin(), list.end()));

        const std::string screen = "owner\n"
                                   "screen.tga,256,256\n"
                                   "light,off,0,0,1,1,1,1\n"
                                   "window\n"
                                   "panel 100,50,64,32,0,0,64,32\n"
                                   "button\n"
                                   "b 300,200,64,32,0,64,64,32\n"
                                   "b_o 300,200,64,32,64,64,64,32\n"
                                   "b_p 300,200,64,32,128,64,64,32\n"
                                   "text\n"
                                   "label glyphs,200,400,none\n"
                                   "window\n"
                                   "cursor 0,0,16,16,240,240,16,16\n";
        root_->Put("Data/Interface/screen1024.int", std::vector<uint8_t>(screen.begin(), screen.end()));
        const std::string scripts = "owner t_system owner interface\n";
        root_->Put("Data/Scripts/list.dat", std::vector<uint8_t>(scripts.begin(), scripts.end()));
        const std::string owner = "while true do Update() end\n";
        root_->Put("Data/Scripts/owner.lua", std::vector<uint8_t>(owner.begin(), owner.end()));

        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/click.wav", 880, 0.05, 22050, 1, 8));
        std::ofstream("Data/Sounds/Sounds.dat") << "click;click.wav\n";
        InvalidatePathCache();
        g_frequency = 22050;
        audio_.SetDevice(&audioDevice_);
        ASSERT_EQ(audio_.Init(nullptr), S_OK);

        ASSERT_TRUE(scripts_.LoadList());
        owner_ = scripts_.GetScript("owner");
        ASSERT_TRUE(owner_);
        owner_->Start();

        Start();
        if (IsSkipped()) return;
        screen_ = CPRefPtr<CPInterface>(new CPInterface);
        screen_->Load("screen", 0);
        screen_->SilentActivate(450);
    }
    void TearDown() override {
        screen_.Reset();
        owner_.Reset();
        audio_.GetSounds().Clear();
        ScreenFixture::TearDown();
    }
    // The commands the owner got since the last call, oldest first.
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        const auto& queue = owner_->GetQueue();
        for (auto it = queue.rbegin(); it != queue.rend(); ++it)
            sent.push_back(it->name + (it->params.empty() ? "" : " " + it->params[0]));
        while (owner_->SetNextCommand()) {}
        return sent;
    }
    bool ClickPlaying() {
        CPRefPtr<CNSound> click = audio_.GetSound("click");
        return click && click->IsPlaying();
    }

    Platform::NullAudioDevice audioDevice_;
    CNAudio audio_;
    CPScriptManager scripts_;
    CPRefPtr<CPLuaScript> owner_;
};

TEST_F(InterfaceScreenTest, AWindowCoversItsFileRectangleTexelForPixel) {
    const auto p = Frame();
    for (int v : {0, 1, 17, 31})
        for (int u : {0, 1, 40, 63}) EXPECT_EQ(At(p, 100 + u, 50 + v), WindowTexel(u, v)) << u << "," << v;
    for (int v : {0, 31}) {
        EXPECT_EQ(At(p, 99, 50 + v), 0u) << v;
        EXPECT_EQ(At(p, 164, 50 + v), 0u) << v;
    }
    for (int u : {0, 63}) {
        EXPECT_EQ(At(p, 100 + u, 49), 0u) << u;
        EXPECT_EQ(At(p, 100 + u, 82), 0u) << u;
    }
}

TEST_F(InterfaceScreenTest, AButtonShowsOverPressedAndOverAgainAsTheMouseGoes) {
    auto colourOfButton = [&] {
        const auto p = Frame();
        // The whole rectangle in one colour, nothing outside it.
        for (auto [x, y] : {std::pair{300, 200}, std::pair{363, 200}, std::pair{300, 231}, std::pair{363, 231}})
            EXPECT_EQ(At(p, x, y), At(p, 330, 215)) << x << "," << y;
        EXPECT_EQ(At(p, 299, 215), 0u);
        EXPECT_EQ(At(p, 364, 215), 0u);
        return At(p, 330, 215);
    };
    EXPECT_EQ(colourOfButton(), kNormal);
    InterfacesMouseMove(320, 210);
    EXPECT_EQ(colourOfButton(), kOver);
    InterfacesMouseDown(0, 320, 210);
    EXPECT_EQ(colourOfButton(), kPressed);
    EXPECT_FALSE(ClickPlaying());
    Sent();
    InterfacesMouseUp(0, 320, 210);
    EXPECT_EQ(colourOfButton(), kOver);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"mouse_released", "button b"}));
    EXPECT_TRUE(ClickPlaying());
    InterfacesMouseMove(600, 600);
    EXPECT_EQ(colourOfButton(), kNormal);
}

TEST_F(InterfaceScreenTest, ATextInksOnlyItsGlyphBoxesEachWithItsOwnCell) {
    CPInterfaceText* label = screen_->FindText("label");
    ASSERT_TRUE(label);
    ASSERT_TRUE(fonts_->SetText(label->object.Get(), label->x, label->y, label->font, "AB^C\xE9"));
    const auto p = Frame();
    // The boxes from the font: 10 pixels wide (advance 8 + margin 2), 16 high, "^" starting a line.
    const SPFont* font = fonts_->GetFont("glyphs");
    ASSERT_TRUE(font);
    struct Box {
        uint8_t code;
        float x0, y0, x1, y1;
        int inked = 0;
    };
    std::vector<Box> boxes;
    const float h = font->cellHeight;
    const uint8_t lines[2][2] = {{'A', 'B'}, {'C', 0xE9}};
    for (int line = 0; line < 2; ++line) {
        float pen = label->x;
        for (uint8_t code : lines[line]) {
            const float w = font->advances[code];
            boxes.push_back({code, pen, label->y + line * h, pen + w, label->y + (line + 1) * h});
            pen += w - font->margin - font->spacing / 2;
        }
    }
    EXPECT_FLOAT_EQ(boxes[0].x1 - boxes[0].x0, 10.0f);
    // Boxes overlap by the margin: every inked pixel lies in a box (pixel centres at integer
    // coordinates) whose glyph has that colour.
    for (int y = 300; y < 500; ++y)
        for (int x = 150; x < 300; ++x) {
            const uint32_t c = At(p, x, y);
            if (c == 0) continue;
            Box* in = nullptr;
            for (Box& b : boxes)
                if (b.x0 <= x && x < b.x1 && b.y0 <= y && y < b.y1 && GlyphColour(b.code) == c) in = &b;
            ASSERT_TRUE(in) << "ink outside its glyph's box at " << x << "," << y << ": " << std::hex << c;
            ++in->inked;
        }
    // Each box shows its cell's whole ink, texel for pixel: 8 x 12.
    for (const Box& b : boxes) EXPECT_EQ(b.inked, (kInkRight - kInkLeft) * (kInkBottom - kInkTop)) << int(b.code);
}

} // namespace
