// "config.cfg": the defaults written in the engine hash map's order, and the load rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Core/PKernel.h"
#include "Core/PSettings.h"

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPSettingsManager::ResetDefaults();
        dir = fs::temp_directory_path() / ("vastrel-settings-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::remove_all(dir);
        CPSettingsManager::ResetDefaults();
    }
    std::string Path(const char* name) const { return (dir / name).string(); }
    void WriteFile(const char* name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string ReadFile(const char* name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir;
};

TEST_F(SettingsTest, SavingWithoutAnInputFileWritesTheDefaultsInTableOrder) {
    CPSettingsManager settings;
    settings.Load(Path("config.cfg")); // missing: nothing changes
    settings.Save(Path("config.cfg"));
    const char* expected = "fullScreen = 0\r\n"
                           "friction = 0.2\r\n"
                           "restitution = 0\r\n"
                           "blur = 1\r\n"
                           "shadows = 1\r\n"
                           "bloom = 1\r\n"
                           "weight_div = 0\r\n"
                           "cam_speed = 0\r\n"
                           "rolling = 0\r\n"
                           "psystems = 25\r\n"
                           "screenBPP = 16\r\n"
                           "musicVolume = 0.5\r\n"
                           "weather = 1\r\n"
                           "startmenu = 1\r\n"
                           "texlod = -1\r\n"
                           "dust = 1\r\n"
                           "aniso = 0\r\n"
                           "mouse = 0\r\n"
                           "plane = 0.5\r\n"
                           "contrast = 1\r\n"
                           "bitrate = 8\r\n"
                           "quadlevels = 0\r\n"
                           "channels = 2\r\n"
                           "distance = 200\r\n"
                           "static = 0\r\n"
                           "bboxes = 0\r\n"
                           "soundVolume = 0.5\r\n"
                           "screenWidth = 640\r\n"
                           "frequency = 22050\r\n"
                           "lensflare = 1\r\n"
                           "wheel = 1\r\n"
                           "screenHeight = 480\r\n";
    EXPECT_EQ(ReadFile("config.cfg"), expected);
}

TEST_F(SettingsTest, LoadRules) {
    struct Case {
        const char* line;
        const char* key;
        const char* text; // GetText after the load
    };
    const Case cases[] = {
        {"screenWidth=1024", "screenWidth", "1024"},
        {"  screenWidth \t=  1024  ", "screenWidth", "1024"},
        {"+fullScreen", "fullScreen", "1"},
        {"-fullScreen", "fullScreen", "0"},
        {"fullScreen", "fullScreen", "0"},
        {"+fullScreen = 7", "fullScreen", "7"}, // an explicit value wins over the sign
        {"distance = 3abc", "distance", "3"},
        {"distance = -12", "distance", "-12"},
        {"distance = 2.9", "distance", "2"},
        {"soundVolume = 0.75", "soundVolume", "0.75"},
        {"soundVolume = 1e-1", "soundVolume", "0.1"},
        {"texlod = a=b=3", "texlod", "-1"},   // the value is "a=b=3": no number, unchanged
        {"distance = =5", "distance", "200"}, // the value keeps its own "=": no number at its start
        {"distance = abc", "distance", "200"},
        {"distance =", "distance", "200"},
        {"Distance = 5", "distance", "200"}, // names are exact
    };
    for (const Case& c : cases) {
        CPSettingsManager::ResetDefaults();
        CPSettingsManager settings;
        WriteFile("config.cfg", std::string(c.line) + "\r\n");
        settings.Load(Path("config.cfg"));
        ASSERT_NE(settings.Find(c.key), nullptr) << c.key;
        EXPECT_EQ(settings.Find(c.key)->GetText(), c.text) << "line: " << c.line;
    }
}

TEST_F(SettingsTest, UnknownEmptyAndOverlongLinesNeitherStopTheLoadNorAddLines) {
    std::string text = "\n\nnoSuchSetting = 5\r\n" + std::string(5000, 'x') + " = 1\n" +
                       "bloom = " + std::string(3000, '0') + "0\n" + "\xE9\xFF = 3\n" + "screenHeight = 600";
    WriteFile("config.cfg", text);
    CPSettingsManager settings;
    settings.Load(Path("config.cfg"));
    EXPECT_EQ(g_screenHeight, 600);
    EXPECT_EQ(g_bloom, 0);
    settings.Save(Path("out.cfg"));
    std::string saved = ReadFile("out.cfg");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 32);
    EXPECT_EQ(saved.find("noSuchSetting"), std::string::npos);
    EXPECT_NE(saved.find("screenHeight = 600\r\n"), std::string::npos);
}

TEST_F(SettingsTest, ValuesRoundTripThroughTheFile) {
    {
        CPSettingsManager settings;
        g_soundVolume = 0.75f;
        g_aniso = 16;
        g_texlod = -3;
        g_fullScreen = 1;
        settings.Save(Path("config.cfg"));
    }
    CPSettingsManager::ResetDefaults();
    CPSettingsManager settings;
    settings.Load(Path("config.cfg"));
    EXPECT_FLOAT_EQ(g_soundVolume, 0.75f);
    EXPECT_FLOAT_EQ(g_aniso, 16.0f);
    EXPECT_EQ(g_texlod, -3);
    EXPECT_EQ(g_fullScreen, 1);
}

TEST_F(SettingsTest, SaveReplacesTheFileWholeAndFailsWithoutTouchingIt) {
    WriteFile("config.cfg", "old contents that are longer than nothing\n");
    CPSettingsManager settings;
    // The target is a directory: the save must fail and leave everything as it was.
    fs::create_directories(dir / "blocked.cfg");
    settings.Save(Path("blocked.cfg"));
    EXPECT_TRUE(fs::is_directory(dir / "blocked.cfg"));
    settings.Save(Path("config.cfg"));
    EXPECT_EQ(ReadFile("config.cfg").rfind("fullScreen = 0\r\n", 0), 0u);
    // Nothing but the two entries is left in the folder (no temporary file).
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(SettingsTest, DatorArithmeticAndComparison) {
    CPSettingsManager settings;
    CPDator* distance = settings.Find("distance");
    CPDator* plane = settings.Find("plane");
    distance->AddText("50");
    EXPECT_EQ(g_distance, 250);
    distance->SubtractText("  100xyz");
    EXPECT_EQ(g_distance, 150);
    plane->AddText("0.25");
    EXPECT_EQ(plane->GetText(), "0.75");
    EXPECT_TRUE(plane->EqualsText("0.75"));
    EXPECT_TRUE(plane->DiffersText("0.750"));
    EXPECT_FALSE(plane->IsList());
    EXPECT_STREQ(plane->GetTypeName(), "CPDator");
}

TEST_F(SettingsTest, ReleasedDatorsStillSaveAndTheKernelReleasesThemAtLoopEnd) {
    CPSettingsManager settings;
    {
        CPKernel kernel;
        kernel.Execute(); // nothing to run: the loop ends at once and lets go of the dators
    }
    g_screenWidth = 800;
    settings.Save(Path("config.cfg"));
    EXPECT_NE(ReadFile("config.cfg").find("screenWidth = 800\r\n"), std::string::npos);
}

TEST(WeightDivisorTest, ZeroOrLessDividesByOne) {
    const int cases[][2] = {{0, 1}, {-4, 1}, {1, 1}, {3, 3}};
    int saved = g_weightDiv;
    for (auto& c : cases) {
        g_weightDiv = c[0];
        EXPECT_EQ(WeightDivisor(), c[1]) << c[0];
    }
    g_weightDiv = saved;
}

} // namespace
