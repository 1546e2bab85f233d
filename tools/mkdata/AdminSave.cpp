// The demo's "Data/admin.sav": the stored level records every new profile starts from, written
// through the game's own save writer. Each level has a time to beat (a fresh profile can set a
// record only below it); level 1 also carries a rival run, a car driving straight along +X.
#include <filesystem>
#include <string>

#include "Race/PSaveFile.h"

bool WriteAdminSave(const std::filesystem::path& root) {
    SaveFileData data;
    data.profileName = "admin";
    data.playerName = "coupe_t";
    data.time = {2026, 1, 4, 1, 12, 0, 0, 0};
    data.racesPassed = 1;
    data.upgrades = {0, 0, 0, 0, 0, 4, 1};
    for (int i = 0; i < kLevelRecordCount; ++i) {
        SaveLevelRecord& r = data.records[i];
        r.time = 90.0f + 10.0f * static_cast<float>(i);
        r.medal = 4;
        r.parts = {0, 1, 1, 1, 0, 4, 1};
    }
    // Level 1: 60 s at 20 m/s, sampled every 0.05 s, facing +X (a quarter turn about Z).
    SaveLevelRecord& rival = data.records[0];
    rival.name = "coupe_t";
    for (int n = 0; n <= 1200; ++n) {
        CPReplayFrame f;
        f.time = 0.05f * static_cast<float>(n);
        f.position[0] = 20.0f * f.time;
        f.position[2] = 0.5f;
        f.rotation[2] = 0.70710677f;
        f.rotation[3] = 0.70710677f;
        f.w0Position[1] = -1.4f;
        f.w2Position[1] = 1.3f;
        f.dustPoint[0] = f.position[0] - 1.3f;
        f.dustFlag = 1;
        f.throttle = 1;
        rival.frames.push_back(f);
    }
    std::filesystem::create_directories(root / "Data" / "Saves");
    return SUCCEEDED(SaveSaveFile((root / "Data" / "admin.sav").string(), data));
}
