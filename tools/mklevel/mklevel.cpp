// Writes a ".lvl" level layout from a text form, or lists a layout in that form.
//
//   mklevel IN.txt OUT.lvl     one statement per line; "#" starts a comment:
//                                header a b c d
//                                lights N          (N light records, zero-filled)
//                                object NAME x y z qx qy qz qw sx sy sz
//                                trailer T
//   mklevel --list FILE.lvl    prints the layout in the same text form
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Race/PLevelFile.h"

namespace {

bool ParseText(std::istream& in, LevelFile& level) {
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
    if (!ParseText(in, level)) return 1;
    const std::vector<uint8_t> bytes = WriteLevelBytes(level);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "mklevel: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
