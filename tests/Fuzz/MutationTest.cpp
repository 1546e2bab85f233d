// Every file format the game reads, fed to the game's own reader in damaged forms of the demo's
// file: empty, a folder in its place, cut short, bits flipped, counts made huge or negative, NaN and
// inf where numbers stand, very long lines, NUL bytes. The mutants come from a fixed seed, so a run
// repeats. A crash, a sanitizer report or a hang ends the test; a reader that accepts bytes its own
// writer then writes back differently aborts it (Formats::Disagree).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "Core/PPath.h"
#include "DemoRootSupport.h"
#include "Formats.h"
#include "ScriptHarness.h"

namespace fs = std::filesystem;

namespace {

// The case being fed, named when a reader aborts.
char g_case[256] = "";

void NameTheCase(int) {
    (void)!write(2, "\nwhile feeding ", 15);
    (void)!write(2, g_case, strlen(g_case));
    (void)!write(2, "\n", 1);
}

struct Mutant {
    std::string what;
    std::vector<uint8_t> bytes;
    bool folder = false;
};

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The spans of the text that read as numbers ("12", "-0.5", "3e4").
std::vector<std::pair<size_t, size_t>> Numbers(const std::vector<uint8_t>& text) {
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t i = 0; i < text.size();) {
        const bool sign = (text[i] == '-' || text[i] == '+') && i + 1 < text.size() && std::isdigit(text[i + 1]);
        if (!std::isdigit(text[i]) && !sign) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && (std::isdigit(text[end]) || text[end] == '.' || text[end] == 'e')) ++end;
        spans.emplace_back(i, end - i);
        i = end;
    }
    return spans;
}

std::vector<uint8_t> Replaced(std::vector<uint8_t> bytes, std::pair<size_t, size_t> span, const std::string& with) {
    bytes.erase(bytes.begin() + static_cast<long>(span.first),
                bytes.begin() + static_cast<long>(span.first + span.second));
    bytes.insert(bytes.begin() + static_cast<long>(span.first), with.begin(), with.end());
    return bytes;
}

std::vector<Mutant> MakeMutants(const std::vector<uint8_t>& seed, bool text, uint32_t seedValue) {
    std::mt19937 random(seedValue);
    const auto below = [&](size_t n) { return n == 0 ? size_t(0) : static_cast<size_t>(random() % n); };
    std::vector<Mutant> out;
    out.push_back({"empty", {}});
    out.push_back({"a folder", {}, true});
    out.push_back({"doubled", seed});
    out.back().bytes.insert(out.back().bytes.end(), seed.begin(), seed.end());
    for (const size_t cut :
         {size_t(1), seed.size() / 8, seed.size() / 4, seed.size() / 2, seed.size() * 3 / 4, seed.size() - 1})
        if (cut < seed.size())
            out.push_back({"cut at " + std::to_string(cut), {seed.begin(), seed.begin() + static_cast<long>(cut)}});
    for (int i = 0; i < 12; ++i) {
        const size_t cut = below(seed.size());
        out.push_back({"cut at " + std::to_string(cut), {seed.begin(), seed.begin() + static_cast<long>(cut)}});
    }
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> b = seed;
        const int edits = 1 + static_cast<int>(below(8));
        for (int e = 0; e < edits && !b.empty(); ++e) {
            const size_t at = below(b.size());
            if (random() % 2) b[at] ^= static_cast<uint8_t>(1u << below(8));
            else b[at] = static_cast<uint8_t>(random());
        }
        out.push_back({"bytes changed #" + std::to_string(i), std::move(b)});
    }
    // 32-bit words where counts, sizes and floats stand: at the header's offsets, then anywhere.
    const uint32_t words[] = {0xFFFFFFFFu, 0x7FFFFFFFu,           0x80000000u,           1u << 20,   0xFFFFu,
                              1u << 30,    0x7FC00000u /* NaN */, 0x7F800000u /* inf */, 0xFF800000u /* -inf */};
    for (size_t at = 0; at + 4 <= seed.size() && at < 64; at += 4)
        for (const uint32_t w : {words[0], words[1], words[2], words[6]}) {
            std::vector<uint8_t> b = seed;
            std::memcpy(&b[at], &w, 4);
            out.push_back({"word " + std::to_string(w) + " at " + std::to_string(at), std::move(b)});
        }
    for (int i = 0; i < 40 && seed.size() >= 4; ++i) {
        std::vector<uint8_t> b = seed;
        const size_t at = below(seed.size() - 3);
        const uint32_t w = words[below(std::size(words))];
        std::memcpy(&b[at], &w, 4);
        out.push_back({"word " + std::to_string(w) + " at " + std::to_string(at), std::move(b)});
    }
    // NUL bytes: one in the middle, and every line end made one.
    std::vector<uint8_t> nul = seed;
    nul.insert(nul.begin() + static_cast<long>(seed.size() / 2), 0);
    out.push_back({"a NUL byte", std::move(nul)});
    std::vector<uint8_t> nuls = seed;
    for (uint8_t& c : nuls)
        if (c == '\n') c = 0;
    out.push_back({"NUL line ends", std::move(nuls)});
    if (!text) return out;

    const std::vector<std::pair<size_t, size_t>> numbers = Numbers(seed);
    const char* strange[] = {"nan",
                             "inf",
                             "-inf",
                             "1e999",
                             "-nan",
                             "NAN",
                             "-1e999",
                             "2147483647",
                             "-2147483648",
                             "-1",
                             "99999999999999999999",
                             "1000000000",
                             "4294967296",
                             "0",
                             "-0"};
    for (int i = 0; i < 60 && !numbers.empty(); ++i) {
        const std::string with = strange[below(std::size(strange))];
        const std::pair<size_t, size_t> span = numbers[below(numbers.size())];
        out.push_back({"number at " + std::to_string(span.first) + " made " + with, Replaced(seed, span, with)});
    }
    // Every number of the file made the same strange one.
    for (const char* with : strange) {
        std::vector<uint8_t> b = seed;
        for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) b = Replaced(std::move(b), *it, with);
        out.push_back({std::string("every number made ") + with, std::move(b)});
    }
    // Very long lines: words, and a number of 100,000 digits.
    for (const std::string& line : {std::string(200000, 'x'), std::string(100000, '7'), std::string(50000, ',')}) {
        std::vector<uint8_t> b = seed;
        const size_t at = below(seed.size());
        b.insert(b.begin() + static_cast<long>(at), line.begin(), line.end());
        out.push_back({"a long line at " + std::to_string(at), std::move(b)});
    }
    std::vector<uint8_t> longFirst(seed);
    const std::string lineOfWords(300000, 'a');
    longFirst.insert(longFirst.begin(), lineOfWords.begin(), lineOfWords.end());
    out.push_back({"a long first line", std::move(longFirst)});
    return out;
}

// The demo root with a font file and a pack, made once.
class MutationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new ScriptHarness::GameRoot("");
        const std::string error = DemoRootSupport::MakeDemoRoot(fs::current_path());
        ASSERT_EQ(error, "");
        const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
        if (fs::exists(font)) DemoRootSupport::RunTool(fs::current_path(), "mkfont", font + " 16 small .");
        fs::create_directories("packed/Fonts");
        fs::create_directories("packed/Levels");
        fs::copy_file("Data/Fonts/fonts.dat", "packed/Fonts/fonts.dat");
        fs::copy_file("Data/Levels/mission1.txt", "packed/Levels/mission1.txt");
        ASSERT_TRUE(DemoRootSupport::RunTool(fs::current_path(), "mkpack", "Data/game0.dat packed"));
        fs::remove_all("packed");
        Formats::SetUp();
    }
    static void TearDownTestSuite() {
        delete root_;
        root_ = nullptr;
    }
    static inline ScriptHarness::GameRoot* root_ = nullptr;
};

TEST_F(MutationTest, EveryReaderSurvivesDamagedFormsOfItsDemoFile) {
    std::signal(SIGABRT, NameTheCase);
    uint32_t seedValue = 1;
    for (const Formats::Format& format : Formats::All()) {
        SCOPED_TRACE(format.name);
        const std::vector<uint8_t> seed = ReadBytes(format.path);
        if (seed.empty() && std::string(format.name) == "font" && !fs::exists(format.path)) {
            std::printf("%s: no demo font (mkfont needs the DejaVu fonts), left out\n", format.name);
            continue;
        }
        ASSERT_FALSE(seed.empty()) << "the demo root has no " << format.path;
        const std::vector<Mutant> mutants = MakeMutants(seed, format.text, seedValue++);
        for (size_t i = 0; i < mutants.size(); ++i) {
            const Mutant& m = mutants[i];
            std::snprintf(g_case, sizeof g_case, "%s: %s", format.name, m.what.c_str());
            if (m.folder) {
                fs::remove(format.path);
                fs::create_directories(format.path);
                InvalidatePathCache();
                format.load();
                fs::remove_all(format.path);
                continue;
            }
            try {
                Formats::Feed(format, m.bytes.data(), m.bytes.size());
                // The game's own call on the file, where the reader above took the bytes directly.
                if (format.read && i % 4 == 0) {
                    Formats::Place(format.path, m.bytes.data(), m.bytes.size());
                    format.load();
                }
            } catch (const std::exception& e) {
                FAIL() << g_case << ": " << e.what();
            }
        }
        Formats::Place(format.path, seed.data(), seed.size());
        // The demo file itself still reads after all that.
        format.load();
        std::printf("%-16s %3zu mutants of %zu bytes\n", format.name, mutants.size(), seed.size());
        std::fflush(stdout);
    }
}

} // namespace
