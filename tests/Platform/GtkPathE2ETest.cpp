// The game as a player starts it: the real program on an X display (Xvfb), its GTK launcher's
// "Start in windowed mode" pressed with xdotool, then the committed input replay of the whole path
// (tests/fixtures/path, the one the offscreen path test plays): the menu, the profile, the shop, a
// race with the super weapon set off, the records after the finish, the options and Exit. At the
// menu, the shop, the race, the flash and the records, known from the journal the demo scripts
// write, the test stops the program (SIGSTOP), takes the X screen, lets it go on, and checks pixels
// at points it computes from the data: a text of the screen's ".int" laid out with its font is
// inked; the sky shows the colours of the level's skyscape at its hour; the super weapon's flash
// whitens the frame. The pictures go to build/test-output/ as gtk-path-*.png. Runs only when
// VASTREL_E2E_GTK is set (its ctest entry sets it); without a display it runs itself again under
// xvfb-run.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/XDisplayFixture.h"
#include "RenderGL/PngWriter.h"

namespace fs = std::filesystem;

namespace {

// The frame size and frame time the replay was made for (its mouse moves are in frame pixels).
constexpr int kWidth = 512, kHeight = 384;
constexpr const char* kFrameTime = "0.04";

// Prepended to the root's copy of "main": main's every turn ends with a "turn N" line in the
// journal, so that the test knows how far the program is when it stops it.
constexpr const char* kTurnStamp = R"(do
    local turn, update, path = 0, Update, os.getenv("VASTREL_JOURNAL")
    Update = function(...)
        turn = turn + 1
        local f = io.open(path, "a")
        f:write("turn ", turn, "\n")
        f:close()
        return update(...)
    end
end
)";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// The journal as the program writes it, read on from where the last look stopped: the turn stamp
// each line first came after, and the last stamp.
class JournalFollower {
public:
    explicit JournalFollower(fs::path path) : path_(std::move(path)) {}
    void Read() {
        std::ifstream in(path_, std::ios::binary);
        if (!in) return;
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        offset_ += chunk.size();
        pending_ += chunk;
        for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            const std::string line = pending_.substr(0, end);
            if (line.rfind("turn ", 0) == 0) last_ = std::atoi(line.c_str() + 5);
            else first_.emplace(line, last_);
        }
    }
    // The stamp before the line's first appearance, or -1 while it has not appeared.
    int TurnOf(const std::string& line) const {
        const auto it = first_.find(line);
        return it == first_.end() ? -1 : it->second;
    }
    int LastTurn() const { return last_; }

private:
    fs::path path_;
    size_t offset_ = 0;
    std::string pending_;
    int last_ = 0;
    std::map<std::string, int> first_;
};

// The turns of a replay's events, in order.
std::vector<int> EventTurns(const std::string& replay) {
    std::vector<int> turns;
    for (const std::string& line : Lines(replay))
        if (!line.empty() && line[0] != '#') turns.push_back(std::atoi(line.c_str()));
    return turns;
}

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

// ---- The data the checks compute from ----

struct Box {
    int x0, y0, x1, y1; // frame pixels, x1 and y1 excluded
};

// A text of an ".int" screen: "name font,x,y,key" on the line after "text".
struct IntText {
    std::string font, key;
    int x = 0, y = 0;
};

bool FindIntText(const std::string& file, const std::string& name, IntText& out) {
    const std::vector<std::string> lines = Lines(file);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != "text" || lines[i + 1].rfind(name + " ", 0) != 0) continue;
        std::istringstream in(lines[i + 1].substr(name.size() + 1));
        std::string x, y;
        std::getline(in, out.font, ',');
        std::getline(in, x, ',');
        std::getline(in, y, ',');
        std::getline(in, out.key);
        out.x = std::atoi(x.c_str());
        out.y = std::atoi(y.c_str());
        return true;
    }
    return false;
}

// A window of an ".int" screen, "name x,y,w,h,..." on the line after "window", in frame pixels.
bool FindIntWindow(const std::string& file, const std::string& name, Box& out) {
    const std::vector<std::string> lines = Lines(file);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != "window" || lines[i + 1].rfind(name + " ", 0) != 0) continue;
        int x = 0, y = 0, w = 0, h = 0;
        if (std::sscanf(lines[i + 1].c_str() + name.size() + 1, "%d,%d,%d,%d", &x, &y, &w, &h) != 4) return false;
        const float sx = kWidth / 1024.0f, sy = kHeight / 768.0f;
        out = {int(x * sx), int(y * sy), int(std::ceil((x + w) * sx)), int(std::ceil((y + h) * sy))};
        return true;
    }
    return false;
}

// "key ~ text" lines; quotes around the text are not part of it.
std::string StringOf(const std::string& table, const std::string& key) {
    for (const std::string& line : Lines(table)) {
        const size_t at = line.find(" ~ ");
        if (at == std::string::npos || line.substr(0, at) != key) continue;
        std::string text = line.substr(at + 3);
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
        return text;
    }
    return "";
}

// A font as the layout uses it: cell height, advances by character, margin and spacing.
struct Font {
    float cellHeight = 0, margin = 2, spacing = 0;
    std::map<unsigned char, float> advance;
};

bool LoadFont(const fs::path& fonts, const std::string& name, Font& font) {
    bool listed = false;
    for (const std::string& line : Lines(ReadFile(fonts / "fonts.dat"))) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
        if (fields.empty() || fields[0] != name) continue;
        if (fields.size() > 1) font.margin = std::stof(fields[1]);
        if (fields.size() > 3) font.spacing = std::stof(fields[3]);
        listed = true;
    }
    const std::vector<std::string> lines = Lines(ReadFile(fonts / (name + ".fnt")));
    if (!listed || lines.size() < 4) return false;
    font.cellHeight = std::stof(lines[3].substr(lines[3].find('\t') + 1));
    for (size_t i = 4; i < lines.size(); ++i) {
        const size_t tab = lines[i].find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        const std::string ch = lines[i].substr(0, tab);
        font.advance[ch == "space" ? ' ' : static_cast<unsigned char>(ch[0])] = std::stof(lines[i].substr(tab + 1));
    }
    return true;
}

// Where the layout puts a one-line text at (x, y) of a 1024 x 768 screen, in frame pixels: each
// character's pen step is its advance plus half the spacing, its quad that plus the margin and
// the other half.
Box TextBox(const Font& font, int x, int y, const std::string& text) {
    const float sx = kWidth / 1024.0f, sy = kHeight / 768.0f;
    float width = 0;
    for (unsigned char c : text) {
        const auto it = font.advance.find(c);
        width += (it == font.advance.end() ? 0.0f : it->second) + font.spacing / 2;
    }
    width += font.margin + font.spacing / 2;
    return {static_cast<int>(x * sx), static_cast<int>(y * sy), static_cast<int>(std::ceil((x + width) * sx)),
            static_cast<int>(std::ceil((y + font.cellHeight) * sy))};
}

// The skyscape's time-of-day layers: each layer's colour rows, horizon first. Only a line's place
// gives its meaning: 15 head lines, then per layer 13 + R + 4B lines.
struct Sky {
    int start = 0;
    std::vector<std::vector<std::array<float, 3>>> layers;
};

Sky ReadSky(const std::string& file) {
    std::vector<std::vector<float>> values; // per meaningful line, the numbers after its label
    for (std::string line : Lines(file)) {
        if (const size_t c = line.find("//"); c != std::string::npos) line.erase(c);
        std::istringstream in(line);
        std::string label;
        if (!(in >> label)) continue;
        std::vector<float> numbers;
        for (std::string word; in >> word;) numbers.push_back(std::strtof(word.c_str(), nullptr));
        values.push_back(numbers);
    }
    Sky sky;
    auto at = [&](size_t line, size_t i) {
        return line < values.size() && i < values[line].size() ? values[line][i] : 0;
    };
    sky.start = static_cast<int>(at(1, 0));
    const int rows = static_cast<int>(at(8, 0)), layers = static_cast<int>(at(9, 0)),
              billboards = static_cast<int>(at(10, 0));
    if (sky.start >= layers) sky.start = 0;
    for (int l = 0; l < layers; ++l) {
        const size_t first = 15 + static_cast<size_t>(l) * (13 + rows + 4 * billboards) + 4;
        std::vector<std::array<float, 3>> colours;
        for (int r = 0; r < rows; ++r) colours.push_back({at(first + r, 0), at(first + r, 1), at(first + r, 2)});
        sky.layers.push_back(colours);
    }
    return sky;
}

// How far (the largest channel difference) a pixel lies from every colour the dome can show for
// a layer: a point between two neighbouring rows, brightened by the sun's glow (0 to 56 on each
// channel) and darkened by the dome texture's grain (0.94 to 1).
double DomeError(const std::vector<std::array<float, 3>>& rows, uint32_t rgb) {
    const float pixel[3] = {float(Channel(rgb, 16)), float(Channel(rgb, 8)), float(Channel(rgb, 0))};
    double best = 1e9;
    for (size_t r = 0; r + 1 < rows.size(); ++r)
        for (int step = 0; step <= 40; ++step)
            for (int glow = 0; glow <= 56; glow += 2)
                for (float grain : {0.94f, 0.97f, 1.0f}) {
                    double worst = 0;
                    for (int c = 0; c < 3; ++c) {
                        const float colour = rows[r][c] + (rows[r + 1][c] - rows[r][c]) * step / 40.0f;
                        worst = std::max(worst, double(std::fabs(std::min(255.0f, colour + glow) * grain - pixel[c])));
                    }
                    best = std::min(best, worst);
                }
    return best;
}

// ---- The X screen ----

struct Picture {
    std::vector<uint32_t> screen; // 0xAARRGGBB, the whole X screen
    int screenWidth = 0, screenHeight = 0;
    int windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0; // the game's window
    int turn = 0;                                                    // the last turn stamp when taken

    uint32_t At(int x, int y) const { // frame pixel
        return screen[static_cast<size_t>(windowY + y) * screenWidth + windowX + x] & 0xFFFFFF;
    }
};

// The mapped top-level window titled "Vastrel", or 0.
Window GameWindow(Display* display) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name && std::string(name) == "Vastrel" &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            found = children[i];
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

bool TakeScreen(Display* display, Picture& picture) {
    Window root = DefaultRootWindow(display);
    XWindowAttributes rootAttributes;
    XGetWindowAttributes(display, root, &rootAttributes);
    picture.screenWidth = rootAttributes.width;
    picture.screenHeight = rootAttributes.height;
    if (Window game = GameWindow(display)) {
        XWindowAttributes a;
        Window child = 0;
        XGetWindowAttributes(display, game, &a);
        XTranslateCoordinates(display, game, root, 0, 0, &picture.windowX, &picture.windowY, &child);
        picture.windowWidth = a.width;
        picture.windowHeight = a.height;
    }
    XImage* image = XGetImage(display, root, 0, 0, picture.screenWidth, picture.screenHeight, AllPlanes, ZPixmap);
    if (!image) return false;
    picture.screen.resize(static_cast<size_t>(picture.screenWidth) * picture.screenHeight);
    for (int y = 0; y < picture.screenHeight; ++y)
        for (int x = 0; x < picture.screenWidth; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const auto channel = [&](unsigned long mask) {
                int shift = 0;
                while (mask && !(mask & 1)) mask >>= 1, ++shift;
                return static_cast<uint32_t>((p >> shift) & 0xFF);
            };
            picture.screen[static_cast<size_t>(y) * picture.screenWidth + x] =
                0xFF000000u | channel(image->red_mask) << 16 | channel(image->green_mask) << 8 |
                channel(image->blue_mask);
        }
    XDestroyImage(image);
    return true;
}

// ---- Pixel measures ----

// Ink: the font's white, drawn over whatever lies under the text.
bool Inked(uint32_t rgb) { return Channel(rgb, 16) >= 200 && Channel(rgb, 8) >= 200 && Channel(rgb, 0) >= 200; }

double InkShare(const Picture& p, const Box& b) {
    int ink = 0, all = 0;
    for (int y = std::max(b.y0, 0); y < std::min(b.y1, kHeight); ++y)
        for (int x = std::max(b.x0, 0); x < std::min(b.x1, kWidth); ++x, ++all)
            if (Inked(p.At(x, y))) ++ink;
    return all ? static_cast<double>(ink) / all : 0.0;
}

double WhiteShare(const Picture& p) {
    int white = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (p.At(x, y) == 0xFFFFFF) ++white;
    return static_cast<double>(white) / (kWidth * kHeight);
}

class GtkPathE2E : public XDisplayFixture {
protected:
    GtkPathE2E() : XDisplayFixture("1024x768x24") {}
};

// One picture: taken once the journal holds `marker` and at least `after` more turns have run, and
// before the turn `before` turns after the marker, or (`before` 0) before the replay's next event,
// which may change the screen.
struct Moment {
    const char* name;
    const char* marker;
    int after, before;
};

TEST_F(GtkPathE2E, LauncherToRecordsWithPicturesOfEachScreen) {
    if (underXvfb_) return;
    char pattern[] = "/tmp/vastrel-gtkpath-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    const std::string make =
        std::string(VASTREL_SOURCE_DIR) + "/scripts/make-game-root.sh " + VASTREL_BINARY_DIR + " " + root.string();
    ASSERT_EQ(std::system((make + " >/dev/null").c_str()), 0);
    const fs::path main = root / "Data/Scripts/main.lua";
    const std::string script = ReadFile(main);
    std::ofstream(main, std::ios::trunc) << kTurnStamp << script;
    std::ofstream(root / "config.cfg", std::ios::app)
        << "screenWidth = " << kWidth << "\r\nscreenHeight = " << kHeight << "\r\n";
    const fs::path journalPath = root / "journal.txt";
    const fs::path replay = fs::path(VASTREL_SOURCE_DIR) / "tests/fixtures/path/path.input";

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(root.c_str()) != 0) _exit(126);
        freopen("program.out", "w", stdout);
        freopen("program.out", "a", stderr);
        // A real X window, not the offscreen one the other tests use.
        unsetenv("SDL_VIDEODRIVER");
        setenv("GDK_BACKEND", "x11", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("VASTREL_SHELL", "off", 1);
        setenv("VASTREL_FRAME_DT", kFrameTime, 1);
        setenv("VASTREL_INPUT", replay.c_str(), 1);
        setenv("VASTREL_JOURNAL", journalPath.c_str(), 1);
        execl(VASTREL_BINARY_DIR "/bin/vastrel", "vastrel", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const fs::path out = fs::path(VASTREL_BINARY_DIR) / "test-output";
    auto save = [&](const std::string& name, const Picture& p) {
        PngWriter::Write(out / ("gtk-path-" + name + ".png"), p.screen, p.screenWidth, p.screenHeight);
    };

    // The launcher: once it shows, a picture of it, then Tab (from "Start full screen") and Enter.
    const int found = std::system("timeout 60 xdotool search --sync --onlyvisible --name '^Vastrel$' >/dev/null");
    Picture launcher;
    if (found == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (TakeScreen(display, launcher)) save("launcher", launcher);
        std::system("timeout 30 xdotool search --onlyvisible --name '^Vastrel$' windowfocus --sync sleep 0.3 "
                    "key Tab Return >/dev/null 2>&1");
    }

    // The flash is white from 0.2 s after its launch to 1 s; its launch reaches "main" a turn later.
    const double frameTime = std::atof(kFrameTime);
    const Moment moments[] = {
        {"menu", "main = screen menu", 3, 0},
        {"shop", "main = screen shop", 3, 0},
        {"race", "game_interface count go", 5, 0},
        {"flash", "main say_super ", static_cast<int>(std::ceil(0.2 / frameTime - 1e-6)) + 2,
         static_cast<int>(std::floor(1.0 / frameTime + 1e-6))},
        {"records", "main = screen records", 3, 0},
    };
    const std::vector<int> events = EventTurns(ReadFile(replay));
    JournalFollower follower(journalPath);
    std::map<std::string, Picture> pictures;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    int status = 0;
    bool exited = false;
    size_t next = 0;
    while (found == 0 && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        if (next < std::size(moments)) {
            const Moment& m = moments[next];
            follower.Read();
            const int at = follower.TurnOf(m.marker);
            if (at >= 0 && follower.LastTurn() >= at + m.after) {
                kill(pid, SIGSTOP);
                follower.Read();
                Picture p;
                p.turn = follower.LastTurn();
                const auto event = std::upper_bound(events.begin(), events.end(), at);
                const int before = m.before ? at + m.before : (event == events.end() ? INT_MAX : *event);
                EXPECT_LT(p.turn, before)
                    << m.name << ": the picture came after turn " << before << ", where the screen may have changed";
                EXPECT_TRUE(TakeScreen(display, p)) << m.name;
                kill(pid, SIGCONT);
                save(m.name, p);
                pictures[m.name] = p;
                ++next;
                continue;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    XCloseDisplay(display);
    // What the checks compute from, read before the root goes.
    const std::string program = ReadFile(root / "program.out");
    const std::string journal = ReadFile(journalPath);
    const std::string config = ReadFile(root / "config.cfg");
    const std::string strings = ReadFile(root / "Data/strings.txt");
    std::map<std::string, std::string> screens;
    for (const char* s : {"menu", "shop", "hud", "records"})
        screens[s] = ReadFile(root / "Data/Interface" / (std::string(s) + "1024.int"));
    std::map<std::string, Font> fonts;
    for (const char* f : {"small", "title"}) LoadFont(root / "Data/Fonts", f, fonts[f]);
    // Level 1 draws the sky of its own number.
    const std::string skyscape = ReadFile(root / "Data/Clouds/skyscape1.txt");
    std::error_code ignored;
    if (!HasFailure()) fs::remove_all(root, ignored);

    ASSERT_EQ(found, 0) << "the launcher never showed\n" << program;
    EXPECT_TRUE(exited) << "the program did not end within five minutes\n" << program;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program;
    ASSERT_EQ(pictures.size(), std::size(moments))
        << "the journal did not reach the screen after " << (pictures.empty() ? "the start" : pictures.rbegin()->first)
        << "\n"
        << journal;
    // The windowed button: the setting saved, a window of the frame's size, not the whole screen.
    EXPECT_NE(config.find("fullScreen = 0"), std::string::npos) << config;
    for (const auto& [name, p] : pictures) {
        EXPECT_EQ(p.windowWidth, kWidth) << name;
        EXPECT_EQ(p.windowHeight, kHeight) << name;
    }

    // A text of each screen, laid out from its ".int" line and its font, has ink where it lies.
    struct TextCase {
        const char* picture;
        const char* screen;
        const char* text;
    };
    const TextCase texts[] = {
        {"menu", "menu", "new_label"},
        {"shop", "shop", "cat1_label"},
        {"race", "hud", "time"}, // the clock's text has the form of its starting string
        {"records", "records", "title"},
    };
    for (const TextCase& c : texts) {
        SCOPED_TRACE(std::string(c.picture) + " " + c.text);
        IntText t;
        ASSERT_TRUE(FindIntText(screens[c.screen], c.text, t));
        ASSERT_GT(fonts[t.font].cellHeight, 0) << t.font;
        const std::string words = StringOf(strings, t.key);
        ASSERT_FALSE(words.empty()) << t.key;
        const Box box = TextBox(fonts[t.font], t.x, t.y, words);
        const double share = InkShare(pictures[c.picture], box);
        std::printf("%s %s: ink %.2f of %d,%d to %d,%d\n", c.picture, c.text, share, box.x0, box.y0, box.x1, box.y1);
        // Letters, not a filled box: some ink, and much that is not.
        EXPECT_GT(share, 0.05) << "box " << box.x0 << "," << box.y0 << " to " << box.x1 << "," << box.y1;
        EXPECT_LT(share, 0.7) << "box " << box.x0 << "," << box.y0 << " to " << box.x1 << "," << box.y1;
    }

    // The sky: the middle of the frame's top, between the HUD's panel and the radar, above the
    // hills. Its colour is one of the dome's at the level's hour (the skyscape's start layer), and
    // no other layer's.
    const Sky sky = ReadSky(skyscape);
    ASSERT_LT(sky.start, static_cast<int>(sky.layers.size()));
    const int skyX = kWidth / 2, skyY = kHeight / 40;
    Box panel;
    ASSERT_TRUE(FindIntWindow(screens["hud"], "bar", panel));
    ASSERT_GE(skyX, panel.x1) << "the sky point lies on the HUD's panel";
    const uint32_t skyPixel = pictures["race"].At(skyX, skyY);
    const double startError = DomeError(sky.layers[static_cast<size_t>(sky.start)], skyPixel);
    EXPECT_LE(startError, 16.0) << "sky pixel " << std::hex << skyPixel;
    for (size_t layer = 0; layer < sky.layers.size(); ++layer) {
        if (static_cast<int>(layer) == sky.start) continue;
        EXPECT_GT(DomeError(sky.layers[layer], skyPixel), startError + 20.0) << "layer " << layer;
    }

    std::printf("sky pixel %06x: %.1f from the start layer's dome; flash white %.2f, race white %.2f\n", skyPixel,
                startError, WhiteShare(pictures["flash"]), WhiteShare(pictures["race"]));

    // The super weapon's flash: the scene white under the HUD, where the race had its colours.
    for (auto [x, y] : {std::pair{skyX, skyY}, std::pair{kWidth / 2, kHeight * 7 / 8}}) {
        EXPECT_EQ(pictures["flash"].At(x, y), 0xFFFFFFu) << x << "," << y;
        EXPECT_NE(pictures["race"].At(x, y), 0xFFFFFFu) << x << "," << y;
    }
    EXPECT_GT(WhiteShare(pictures["flash"]), 0.6);
    EXPECT_LT(WhiteShare(pictures["race"]), 0.05);
}

} // namespace
