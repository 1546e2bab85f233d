#pragma once
// The demo game root the tests and the benches run the game on: data/ copied, mkdata's generated
// assets and level 1 made by mklevel, all from this build. No test framework here, so the benches
// use it too.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace DemoRootSupport {

// Level 1's layout in mklevel's text form.
inline const std::filesystem::path kLevel1Text = std::filesystem::path(VASTREL_SOURCE_DIR) / "tools/mklevel/level1.txt";

// Runs one of the build's tools in `dir`, its output dropped; true when it exits with 0.
inline bool RunTool(const std::filesystem::path& dir, const std::string& tool, const std::string& arguments) {
    const std::string command =
        "cd \"" + dir.string() + "\" && \"" VASTREL_BINARY_DIR "/bin/" + tool + "\" " + arguments + " >/dev/null";
    return std::system(command.c_str()) == 0;
}

// Lays the root out in `dir`, level 1 made from `levelText` (relative paths are taken in `dir`; an
// empty path makes no level). Answers what went wrong, or nothing when the root is made.
inline std::string MakeDemoRoot(const std::filesystem::path& dir,
                                const std::filesystem::path& levelText = kLevel1Text) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::copy(fs::path(VASTREL_SOURCE_DIR) / "data", dir,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    if (error) return "cannot copy the demo data: " + error.message();
    if (!RunTool(dir, "mkdata", ".")) return "mkdata failed";
    if (!levelText.empty() && !RunTool(dir, "mklevel", "\"" + levelText.string() + "\" Data/Levels/level1.lvl"))
        return "mklevel failed on " + levelText.string();
    return "";
}

} // namespace DemoRootSupport
