// mksave: prints the game data's binary files as text.
//   mksave --list FILE     a save slot or "Data/admin.sav": the profile and the 20 level records
//   mksave --scores FILE   "Data/scores.dat": the six score tables
// The exit code is 1 when the file is missing or does not read whole.
#include <cstdio>
#include <cstring>
#include <string>

#include "Race/PSaveFile.h"

namespace {

int List(const char* path) {
    SaveFileData d;
    if (!LoadSaveFile(path, d)) {
        std::fprintf(stderr, "mksave: %s is missing, empty or does not read whole\n", path);
        return 1;
    }
    const SaveTime& t = d.time;
    std::printf("profile \"%s\"\nplayer \"%s\"\n", d.profileName.c_str(), d.playerName.c_str());
    std::printf("time %04u-%02u-%02u %02u:%02u:%02u.%03u weekday %u\n", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.milliseconds, t.dayOfWeek);
    std::printf("races %d\nmoney %d\nupgrades", d.racesPassed, d.money);
    for (int u : d.upgrades) std::printf(" %d", u);
    std::printf("\n");
    for (int i = 0; i < kLevelRecordCount; ++i) {
        const SaveLevelRecord& r = d.records[i];
        std::printf("level %d time %.3f medal %d parts", i + 1, r.time, r.medal);
        for (int p : r.parts) std::printf(" %d", p);
        std::printf(" frames %zu", r.frames.size());
        if (!r.frames.empty())
            std::printf(" name \"%s\" run %.2f s to x %.2f", r.name.c_str(), r.frames.back().time,
                        r.frames.back().position[0]);
        std::printf("\n");
    }
    return 0;
}

int Scores(const char* path) {
    ScoreTables tables;
    if (!LoadScoreFile(path, tables)) {
        std::fprintf(stderr, "mksave: %s is missing or does not read whole\n", path);
        return 1;
    }
    for (int i = 0; i < kScoreTableCount; ++i)
        for (const CPScoreRecord& r : tables[i])
            std::printf("table %d \"%s\" %02d:%02d:%02d\n", i + 1, r.name.c_str(), r.minutes, r.seconds, r.hundredths);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) return List(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--scores") == 0) return Scores(argv[2]);
    std::fprintf(stderr, "usage: mksave --list FILE | --scores FILE\n");
    return 2;
}
