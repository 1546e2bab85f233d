// bench_interface: one HUD turn against its budget, on one core with no device.
//   hud_turn: SetText of 5 texts of 40 characters, UpdateBuffers of a 60-element screen and one
//             InterfacesMouseMove over 3 active screens of 50 elements each with a cursor; median
//             over many turns; budget 30 us.
// Prints "bench=<name> value=<v> budget=<b> ratio=<v/b>". --smoke runs a few turns only.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/PPath.h"
#include "Core/PSettings.h"
#include "Interface/PFontFile.h"
#include "Interface/PFontManager.h"
#include "Interface/PInterface.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A screen of `windows` windows and `buttons` buttons over a 1024 x 768 grid, `texts` texts, and
// a cursor.
std::string Screen(int windows, int buttons, int texts) {
    std::string s = "owner\nhud.tga,256,256\nlight,off,0,0,1,1,1,1\n";
    for (int i = 0; i < windows; ++i) {
        const int x = (i % 10) * 100, y = (i / 10) * 60;
        s += "window\nw" + std::to_string(i) + " " + std::to_string(x) + "," + std::to_string(y) + ",90,50,0,0,16,16\n";
    }
    for (int i = 0; i < buttons; ++i) {
        const std::string pos = std::to_string((i % 10) * 100) + "," + std::to_string(400 + (i / 10) * 60) + ",90,50,";
        s += "button\nb" + std::to_string(i) + " " + pos + "0,16,16,16\n";
        s += "b" + std::to_string(i) + "_o " + pos + "16,16,16,16\n";
        s += "b" + std::to_string(i) + "_p " + pos + "32,16,16,16\n";
    }
    for (int i = 0; i < texts; ++i) s += "text\nt" + std::to_string(i) + " small,20," + std::to_string(i * 20) + ",k\n";
    s += "window\ncursor 0,0,16,16,240,240,16,16\n";
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    const fs::path root = fs::temp_directory_path() / ("vastrel-bench-interface-" + std::to_string(::getpid()));
    fs::create_directories(root / "Data" / "Fonts");
    fs::create_directories(root / "Data" / "Interface");
    fs::current_path(root);
    InvalidatePathCache();
    g_screenWidth = 1024;
    g_screenHeight = 768;

    FontFileData font;
    font.width = 256, font.height = 160, font.cellWidth = 16, font.cellHeight = 16;
    for (int c = 32; c < 127; ++c) font.cells.push_back({static_cast<uint8_t>(c), 9.0f});
    std::string fnt;
    WriteFontFile(font, fnt);
    std::ofstream("Data/Fonts/small.fnt", std::ios::binary) << fnt;
    std::ofstream("Data/Fonts/fonts.dat") << FormatFontListLine({"small", 2.0f, 0, 0}) << "\n";
    std::ofstream("Data/Interface/hud1024.int", std::ios::binary) << Screen(40, 20, 5);
    for (int i = 0; i < 3; ++i)
        std::ofstream("Data/Interface/s" + std::to_string(i) + "1024.int", std::ios::binary) << Screen(35, 15, 0);
    InvalidatePathCache();

    int status = 0;
    {
        CPFontManager fonts;
        fonts.LoadFonts();
        CPRefPtr<CPInterface> hud(new CPInterface);
        hud->Load("hud", 0);
        std::vector<CPRefPtr<CPInterface>> screens;
        for (int i = 0; i < 3; ++i) {
            screens.emplace_back(new CPInterface);
            screens.back()->Load("s" + std::to_string(i), 0);
            screens.back()->SilentActivate(450);
        }
        if (hud->GetElements().size() != 60 || screens[0]->GetElements().size() != 50 || !screens[0]->GetCursor()) {
            std::fprintf(stderr, "bench_interface: the screens did not load as written\n");
            status = 1;
        }
        const int turns = smoke ? 20 : 20000;
        std::vector<double> times;
        std::string text(40, 'A');
        for (int turn = 0; turn < turns && !status; ++turn) {
            text[turn % 40] = static_cast<char>('A' + turn % 26);
            // The cursor sweeps across the buttons, hovering and leaving them.
            const float x = static_cast<float>((turn * 7) % 1024), y = static_cast<float>(400 + (turn * 3) % 120);
            const auto start = Clock::now();
            for (int i = 0; i < 5; ++i) {
                CPInterfaceText* t = hud->FindText("t" + std::to_string(i));
                fonts.SetText(t->object.Get(), t->x, t->y, t->font, text);
            }
            hud->UpdateBuffers();
            InterfacesMouseMove(x, y);
            times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        if (!times.empty()) {
            std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
            const double median = times[times.size() / 2];
            if (!smoke) std::printf("bench=hud_turn value=%.3f budget=30.000 ratio=%.3f\n", median, median / 30.0);
        }
    }
    CPManagedObject::CollectGarbage();
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return status;
}
