// Writes a ".lvl" level layout from a text form, or lists a layout in that form.
//
//   mklevel IN.txt OUT.lvl     one statement per line; "#" starts a comment:
//                                header a b c d
//                                lights N          (N light records, zero-filled)
//                                object NAME x y z qx qy qz qw sx sy sz
//                                trailer T
//                                ring              (opens a ring of track lines, up to three)
//                                point x y z       (the next point of the open ring)
//                              with rings, the track lines go to OUT.trk beside OUT.lvl
//   mklevel --list FILE.lvl    prints the layout in the same text form, with the rings of the
//                              ".trk" beside it
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Race/PLevelFile.h"
#include "Race/PTrackLines.h"

namespace {

bool Finite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

std::string TrackPath(const std::string& levelPath) {
    return std::filesystem::path(levelPath).replace_extension(".trk").string();
}

bool ParseText(std::istream& in, LevelFile& level, TrackLinesFile& track) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        bool ok = true;
        if (keyword == "header") {
            for (float& h : level.header) ok = ok && static_cast<bool>(words >> h);
        } else if (keyword == "lights") {
            int count = 0;
            ok = static_cast<bool>(words >> count) && count >= 0 && count < 100000;
            if (ok) {
                level.lightCount = count;
                level.furtherLights.assign(count > 0 ? static_cast<size_t>(count - 1) : 0, {});
            }
        } else if (keyword == "object") {
            LevelObjectRecord object;
            ok = static_cast<bool>(words >> object.name >> object.position.x >> object.position.y >>
                                   object.position.z >> object.rotation.x >> object.rotation.y >> object.rotation.z >>
                                   object.rotation.w >> object.scale.x >> object.scale.y >> object.scale.z);
            if (ok) level.objects.push_back(object);
        } else if (keyword == "ring") {
            ok = static_cast<int>(track.rings.size()) < TrackLinesFile::kMaxRings;
            if (ok) track.rings.emplace_back();
        } else if (keyword == "point") {
            Vec3 p;
            ok = !track.rings.empty() && static_cast<bool>(words >> p.x >> p.y >> p.z) && Finite(p);
            if (ok) track.rings.back().push_back(p);
        } else if (keyword == "trailer") {
            ok = static_cast<bool>(words >> level.trailer);
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "mklevel: line " << number << ": cannot read \"" << line << "\"\n";
            return false;
        }
    }
    return true;
}

int List(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "mklevel: cannot open " << path << "\n";
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    LevelFile level;
    if (!ReadLevelBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), level)) {
        std::cerr << "mklevel: " << path << " is not a readable level layout\n";
        return 1;
    }
    std::printf("header %g %g %g %g\n", level.header[0], level.header[1], level.header[2], level.header[3]);
    std::printf("lights %d\n", level.lightCount);
    for (const auto& o : level.objects)
        std::printf("object %s %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", o.name.c_str(), o.position.x,
                    o.position.y, o.position.z, o.rotation.x, o.rotation.y, o.rotation.z, o.rotation.w, o.scale.x,
                    o.scale.y, o.scale.z);
    std::printf("trailer %d\n", level.trailer);
    std::ifstream trackIn(TrackPath(path), std::ios::binary);
    if (!trackIn) return 0;
    const std::string text((std::istreambuf_iterator<char>(trackIn)), std::istreambuf_iterator<char>());
    TrackLinesFile track;
    if (!ReadTrackLinesText(text, track, TrackPath(path))) {
        std::cerr << "mklevel: " << TrackPath(path) << " holds no ring\n";
        return 1;
    }
    for (const auto& ring : track.rings) {
        std::printf("ring\n");
        for (const Vec3& p : ring) std::printf("point %.9g %.9g %.9g\n", p.x, p.y, p.z);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--list") return List(argv[2]);
    if (argc != 3) {
        std::cerr << "usage: mklevel IN.txt OUT.lvl | mklevel --list FILE.lvl\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "mklevel: cannot open " << argv[1] << "\n";
        return 1;
    }
    LevelFile level;
    TrackLinesFile track;
    if (!ParseText(in, level, track)) return 1;
    for (size_t i = 0; i < track.rings.size(); ++i) {
        CPTrackLines check;
        if (!check.Build(track.rings[i])) {
            std::cerr << "mklevel: ring " << i + 1 << " has fewer than " << CPTrackLines::kMinPoints
                      << " distinct points\n";
            return 1;
        }
    }
    const std::vector<uint8_t> bytes = WriteLevelBytes(level);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "mklevel: cannot write " << argv[2] << "\n";
        return 1;
    }
    if (!track.rings.empty() && !WriteTrackLinesFile(TrackPath(argv[2]), track)) {
        std::cerr << "mklevel: cannot write " << TrackPath(argv[2]) << "\n";
        return 1;
    }
    return 0;
}
