// How a race ends, turn by turn: the finish line, the burned car and the time limit each send their
// two commands once, and the finish's "cheer" starts after its commands were sent. A loaded level
// with a "fin" record, the race's scripts collecting what they are sent and a silent sound device
// that notes, at each start of a voice, what the scripts had been sent by then.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Core/PGlobalTimer.h"
#include "Core/PSettings.h"
#include "Platform/Audio.h"
#include "Race/PCamera.h"
#include "Race/PCar.h"
#include "Race/PGameData.h"
#include "Race/PLevel.h"
#include "Race/PPlayer.h"
#include "RaceCommandLog.h"
#include "RaceWorldFixture.h"
#include "Render/MeshFile.h"
#include "Render/PRenderBlock.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/SoundTestSupport.h"

namespace {

// The null device, with a hook called whenever a voice is started.
class HookedDevice final : public Platform::AudioDevice {
public:
    bool Open(int frequency) override { return inner.Open(frequency); }
    bool IsOpen() const override { return inner.IsOpen(); }
    void SetListener(const float p[3], const float v[3], const float f[3], const float t[3]) override {
        inner.SetListener(p, v, f, t);
    }
    Platform::VoiceId CreateVoice(const Platform::PcmFormat& format, const void* data, size_t bytes,
                                  bool positional) override {
        return inner.CreateVoice(format, data, bytes, positional);
    }
    void DestroyVoice(Platform::VoiceId voice) override { inner.DestroyVoice(voice); }
    void Play(Platform::VoiceId voice, bool loop) override {
        if (onPlay) onPlay(voice);
        inner.Play(voice, loop);
    }
    void Pause(Platform::VoiceId voice) override { inner.Pause(voice); }
    void Rewind(Platform::VoiceId voice) override { inner.Rewind(voice); }
    bool IsPlaying(Platform::VoiceId voice) override { return inner.IsPlaying(voice); }
    void SetGain(Platform::VoiceId voice, float gain) override { inner.SetGain(voice, gain); }
    void SetPitch(Platform::VoiceId voice, float pitch) override { inner.SetPitch(voice, pitch); }
    void SetPosition(Platform::VoiceId voice, const float p[3], const float v[3]) override {
        inner.SetPosition(voice, p, v);
    }
    void SetDistances(Platform::VoiceId voice, float minimum, float maximum) override {
        inner.SetDistances(voice, minimum, maximum);
    }
    std::unique_ptr<Platform::MusicStream> CreateMusicStream() override { return inner.CreateMusicStream(); }

    Platform::NullAudioDevice inner;
    std::function<void(Platform::VoiceId)> onPlay;
};

class RaceUpdateOrderTest : public RaceWorldFixture {
protected:
    void SetUp() override {
        RaceWorldFixture::SetUp();
        ASSERT_TRUE(log_.Loaded());
        std::filesystem::create_directories("Data/Sounds");
        ASSERT_TRUE(SoundTest::WriteTone("Data/Sounds/tone.wav", 440, 0.5));
        Put("Data/Sounds/Sounds.dat", std::string("cheer;tone.wav\n"));
        audio_ = std::make_unique<CNAudio>();
        audio_->SetDevice(&device_);
        ASSERT_EQ(audio_->Init(nullptr), S_OK);
        cheer_ = audio_->GetSound("cheer");
        ASSERT_TRUE(cheer_);
        // Whatever the scripts got before a voice starts is noted ahead of it.
        device_.onPlay = [this](Platform::VoiceId voice) {
            Note();
            if (voice == cheer_->GetVoice()) heard_.push_back("cheer");
        };
    }
    void TearDown() override {
        device_.onPlay = nullptr;
        if (level_) level_->StopLevel();
        level_.Reset();
        cheer_.Reset();
        audio_.reset();
        data_.reset();
        RaceWorldFixture::TearDown();
        FrameDelta = 0.0f;
        g_bboxes = 0;
    }

    // Level 3 with the player starting at x 0 and the finish from x 48 ("fin,4" at 50).
    void LoadLevel(const std::string& name = "level3") {
        // One game data and one level at a time: the old ones go before the new ones register.
        data_.reset();
        level_.Reset();
        data_ = std::make_unique<CPGameData>();
        PutLayout(name, {LayoutRecord("player", 0), LayoutRecord("fin,4", 50)});
        level_ = CPRefPtr<CPLevel>(new CPLevel);
        ASSERT_TRUE(level_->Load(name));
        ASSERT_NE(level_->GetPlayerCar(), nullptr);
        level_->Start();
        level_->SetRaceActive(true);
        log_.Clear();
    }
    void Note() {
        for (const char* script : {"jeep", "game_interface"})
            for (const std::string& command : log_.Take(script)) heard_.push_back(std::string(script) + " " + command);
    }
    // One race turn; what the scripts got and the sounds started, in order.
    std::vector<std::string> Turn(float delta = 0.02f) {
        heard_.clear();
        FrameDelta = delta;
        level_->RaceUpdate();
        Note();
        return heard_;
    }
    void MoveCarTo(float x) {
        CPPlayer* car = level_->GetPlayerCar();
        car->SetPosition(Vec3(x, car->GetPosition().y, car->GetPosition().z));
        car->UpdateTransform();
    }
    CPCar* Car() { return level_->GetPlayerCar()->GetCar(); }

    RaceCommandLog log_;
    HookedDevice device_;
    std::unique_ptr<CNAudio> audio_;
    CPRefPtr<CNSound> cheer_;
    std::unique_ptr<CPGameData> data_;
    CPRefPtr<CPLevel> level_;
    std::vector<std::string> heard_;
};

const std::vector<std::string> kFinish = {"jeep game_over", "game_interface show_message finish!", "cheer"};
const std::vector<std::string> kBurn = {"jeep game_over", "game_interface show_message burn!"};
const std::vector<std::string> kLost = {"jeep game_over", "game_interface show_message lost!"};

// The finish is the car's x at or past the finish's low x (48); the high x plays no part.
TEST_F(RaceUpdateOrderTest, TheFinishLineSendsItsCommandsThenCheersOnce) {
    LoadLevel();
    EXPECT_EQ(level_->GetFinish().low, 48.0f);
    EXPECT_EQ(level_->GetFinish().high, 52.0f);
    MoveCarTo(47.9f);
    EXPECT_TRUE(Turn().empty());
    EXPECT_FALSE(level_->IsFinished());
    MoveCarTo(48.0f);
    EXPECT_EQ(Turn(), kFinish);
    EXPECT_TRUE(level_->IsFinished());
    EXPECT_FALSE(level_->IsRaceActive());
    // Well past the high x, turns later: nothing more.
    MoveCarTo(70.0f);
    EXPECT_TRUE(Turn().empty());
    EXPECT_TRUE(Turn().empty());
}

// A cheer still playing from before is stopped and rewound, then started again.
TEST_F(RaceUpdateOrderTest, ACheerStillPlayingStartsAgainFromItsBeginning) {
    LoadLevel();
    cheer_->Play(0, 0);
    ASSERT_TRUE(cheer_->IsPlaying());
    device_.inner.calls.clear();
    MoveCarTo(60.0f);
    EXPECT_EQ(Turn(), kFinish);
    const std::string voice = "voice " + std::to_string(cheer_->GetVoice()) + " ";
    std::vector<std::string> calls;
    for (const std::string& call : device_.inner.calls)
        if (call.rfind(voice, 0) == 0) calls.push_back(call.substr(voice.size()));
    // The frequency set on each start may come between; the order of the three is what counts.
    std::vector<std::string> order;
    for (const std::string& call : calls)
        if (call == "pause" || call == "rewind" || call.rfind("play", 0) == 0) order.push_back(call);
    EXPECT_EQ(order, (std::vector<std::string>{"pause", "rewind", "play loop=0"}));
    EXPECT_TRUE(cheer_->IsPlaying());
}

// A burned car ends the race once, without a cheer; a burn after the finish, or in the finish's own
// turn, sends nothing of its own.
TEST_F(RaceUpdateOrderTest, ABurnedCarEndsTheRaceOnceAndNeverAfterTheFinish) {
    {
        SCOPED_TRACE("burned");
        LoadLevel();
        ASSERT_NE(Car(), nullptr);
        Car()->burned = true;
        EXPECT_EQ(Turn(), kBurn);
        EXPECT_TRUE(level_->IsFinished());
        EXPECT_FALSE(level_->IsRaceActive());
        EXPECT_TRUE(Turn().empty());
        // Burned and then over the line: the race has ended already.
        MoveCarTo(60.0f);
        EXPECT_TRUE(Turn().empty());
        level_->StopLevel();
    }
    {
        SCOPED_TRACE("over the line and burned in one turn");
        LoadLevel();
        MoveCarTo(60.0f);
        Car()->burned = true;
        EXPECT_EQ(Turn(), kFinish);
        EXPECT_TRUE(Turn().empty());
        level_->StopLevel();
    }
    {
        SCOPED_TRACE("burned after the finish");
        LoadLevel();
        MoveCarTo(60.0f);
        EXPECT_EQ(Turn(), kFinish);
        Car()->burned = true;
        EXPECT_TRUE(Turn().empty());
    }
}

// The level record's time is the limit: while the race is active the elapsed level time grows by
// FrameDelta, and once it is at least the limit the race is lost, unless "bboxes" is on.
TEST_F(RaceUpdateOrderTest, TheTimeLimitLosesTheRaceWhenTheLevelTimeReachesTheRecordsTime) {
    const struct {
        const char* what;
        const char* level;
        float limit;
        int bboxes;
        bool active;
        int lostAtTurn;  // 0: never within the four turns
        float levelTime; // after the four turns
    } cases[] = {
        {"limit 1.0", "level3", 1.0f, 0, true, 3, 1.2f},
        {"exactly at 0.8", "level3", 0.8f, 0, true, 2, 0.8f},
        {"no limit", "level3", 0.0f, 0, true, 0, 1.6f},
        {"bboxes on", "level3", 1.0f, 1, true, 0, 1.6f},
        {"race not active", "level3", 1.0f, 0, false, 0, 0.0f},
        {"a level without a record", "menu", 1.0f, 0, true, 0, 1.6f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadLevel(c.level);
        data_->levelRecords[2].time = c.limit;
        data_->SetLevelTime(0.0f);
        g_bboxes = c.bboxes;
        level_->SetRaceActive(c.active);
        for (int turn = 1; turn <= 4; ++turn) {
            const std::vector<std::string> heard = Turn(0.4f);
            if (turn == c.lostAtTurn) {
                EXPECT_EQ(heard, kLost) << turn;
                EXPECT_TRUE(level_->IsFinished());
                EXPECT_FALSE(level_->IsRaceActive());
            } else {
                EXPECT_TRUE(heard.empty()) << turn;
            }
        }
        // A lost race stops the level time where it was lost.
        EXPECT_NEAR(data_->GetLevelTime(), c.levelTime, 1e-5f);
        // The line crossed after a lost race finishes nothing.
        MoveCarTo(60.0f);
        const std::vector<std::string> after = Turn(0.4f);
        if (c.lostAtTurn != 0) EXPECT_TRUE(after.empty());
        else EXPECT_EQ(after, kFinish);
        level_->StopLevel();
        level_.Reset();
        g_bboxes = 0;
    }
}

// After the finish the camera keeps looking at the point where the car crossed, while the car
// goes on. The finish is found (step 6) before the camera step (8), so the point kept is the target
// of the last turn before the line.
TEST_F(RaceUpdateOrderTest, AfterTheFinishTheCameraLooksWhereTheCarCrossed) {
    LoadLevel();
    MoveCarTo(47.0f);
    Turn();
    // The car plus the "camera" preset's height (2 without a description).
    const Vec3 car = level_->GetPlayerCar()->GetPosition();
    const Vec3 expected(47.0f, car.y, car.z + 2.0f);
    EXPECT_EQ(level_->GetCamera()->lookAt, expected);
    MoveCarTo(49.0f);
    EXPECT_EQ(Turn(), kFinish);
    EXPECT_EQ(level_->GetCamera()->lookAt, expected);
    MoveCarTo(80.0f);
    Turn();
    Turn();
    EXPECT_EQ(level_->GetCamera()->lookAt, expected);
    EXPECT_EQ(level_->GetRaceTarget(), expected);
}

// With "rolling" on, the player car is loaded from "<key>_enemy.rdf" (the key is empty here) and the
// race update neither updates it (its clocks stand) nor queues it for drawing.
TEST_F(RaceUpdateOrderTest, WithRollingOnThePlayerCarIsNeitherUpdatedNorDrawn) {
    MeshFile::Mesh mesh;
    for (const char* name : {"body", "enemy_marker"}) {
        MeshFile::Node node;
        node.name = name;
        for (int i = 0; i < 3; ++i) {
            CPVertex v;
            v.position = Vec3(float(i == 1), float(i == 2), 0);
            node.vertices.push_back(v);
            node.indices.push_back(static_cast<CPIndex>(i));
        }
        mesh.nodes.push_back(node);
    }
    Put("Data/Meshes/enemy.msh", MeshFile::WriteMesh(mesh, MeshFile::MeshKind::Older));
    Put("Data/Meshes/_enemy.rdf", std::string("mesh = enemy.msh\n"));
    for (int rolling : {0, 1}) {
        SCOPED_TRACE(rolling);
        g_rolling = rolling;
        LoadLevel();
        CPPlayer* car = level_->GetPlayerCar();
        EXPECT_EQ(car->FindChild("enemy_marker") != nullptr, rolling != 0);
        car->blinkTime = 1.0f;
        car->respawnGuard = 2.0f;
        CPRenderBlock* block = render_->GetDynamicRenderBlock().Get();
        ASSERT_NE(block, nullptr);
        block->ResetFrame();
        FrameCounter = 1; // not a blinking frame
        Turn(0.25f);
        EXPECT_FLOAT_EQ(car->blinkTime, rolling ? 1.0f : 0.75f);
        EXPECT_FLOAT_EQ(car->respawnGuard, rolling ? 2.0f : 1.75f);
        EXPECT_EQ(block->GetFrameBlocks().empty(), rolling != 0);
        block->ResetFrame();
        level_->StopLevel();
    }
    g_rolling = 0;
}

} // namespace
