// Scripts are data: what a level's author can and cannot do from a game script. No shell, no pipe,
// no ending the process; code loads from text only (script files, loadstring, load, loadfile,
// dofile), while the file and environment calls the demo's journal uses keep working.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <lua.hpp>

#include "Core/PLog.h"
#include "Core/PLuaScript.h"
#include "Core/PPath.h"
#include "Core/PScriptManager.h"
#include "ScriptFunctionsSetup.h"
#include "ScriptHarness.h"

using ScriptHarness::GameRoot;
using ScriptHarness::TurnRunner;

namespace {

// Precompiles a chunk with a plain interpreter, as someone shipping bytecode would.
std::string Precompile(const std::string& source) {
    lua_State* L = luaL_newstate();
    std::string bytes;
    if (luaL_loadstring(L, source.c_str()) == 0) {
        lua_dump(
            L,
            [](lua_State*, const void* p, size_t size, void* out) {
                static_cast<std::string*>(out)->append(static_cast<const char*>(p), size);
                return 0;
            },
            &bytes);
    }
    lua_close(L);
    return bytes;
}

// Points the process log at a temporary file for the test's life and reads back what was kept.
class LogCapture {
public:
    LogCapture() : previous_(GetLog().GetSink()), file_(std::tmpfile()) { GetLog().SetSink(file_); }
    ~LogCapture() {
        GetLog().SetSink(previous_);
        if (file_) std::fclose(file_);
    }
    std::string Text() const {
        std::string text;
        if (!file_) return text;
        std::fflush(file_);
        std::rewind(file_);
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) text.append(chunk, n);
        return text;
    }

private:
    FILE* previous_;
    FILE* file_;
};

// Tries every way out of the box from a running script and writes what each answered.
const char* const kProbe = R"(
local out = io.open('probe.txt', 'w')
local function say(...)
  local parts = {}
  for i = 1, select('#', ...) do parts[i] = tostring((select(i, ...))) end
  out:write(table.concat(parts, ' '), '\n')
end
say('os.execute', type(os.execute))
say('io.popen', type(io.popen))
say('os.exit', type(os.exit))
say('os.getenv', os.getenv('VASTREL_SANDBOX_PROBE'))
say('os.time', type(os.time()))

local dumped = string.dump(function() return 1 end)
local f, message = loadstring(dumped)
say('loadstring binary', f, type(message))
say('loadstring text', loadstring('return 1 + 1')())

local given = false
say('load binary', (load(function() if given then return nil end given = true return dumped end)))
local i, pieces = 0, {'return ', '40', ' + 2'}
say('load text', load(function() i = i + 1 return pieces[i] end)())

local b = io.open('chunk.bin', 'wb') b:write(dumped) b:close()
local t = io.open('chunk.lua', 'w') t:write('#!first line\nreturn 5\n') t:close()
local sneaky = io.open('sneaky.lua', 'wb') sneaky:write('#!first line\n', dumped) sneaky:close()
say('loadfile binary', (loadfile('chunk.bin')))
say('loadfile after a first line', (loadfile('sneaky.lua')))
say('loadfile text', loadfile('chunk.lua')())
say('dofile binary', (pcall(dofile, 'chunk.bin')))
say('dofile text', dofile('chunk.lua'))
say('os.remove', os.remove('chunk.bin'))
out:close()
while true do Update() end
)";

TEST(ScriptSandboxTest, ALevelScriptFindsNoWayOutOfItsBox) {
    GameRoot root("");
    setenv("VASTREL_SANDBOX_PROBE", "seen", 1);
    const std::filesystem::path scripts = root.Path() / "Data" / "Scripts";
    std::filesystem::create_directories(scripts);
    // The precompiled script sits between two text scripts: the list goes on past it.
    std::ofstream(scripts / "list.dat") << "probe t_system\ndumped t_level\nafter t_level\n";
    std::ofstream(scripts / "probe.lua") << kProbe;
    std::ofstream(scripts / "dumped.lua", std::ios::binary)
        << Precompile("io.open('dumped-ran.txt', 'w'):close() while true do Update() end");
    std::ofstream(scripts / "after.lua") << "io.open('after-ran.txt', 'w'):close() while true do Update() end";
    InvalidatePathCache();

    LogCapture log;
    CPRefPtr<CPLuaScript> dumped;
    {
        TurnRunner runner;
        CPScriptManager manager;
        ASSERT_TRUE(manager.LoadList());
        dumped = manager.GetScript("dumped");
        ASSERT_TRUE(dumped);
        for (const char* name : {"probe", "dumped", "after"})
            ASSERT_TRUE(runner.Kernel().AddTask(CPRefPtr<CPTask>(manager.GetScript(name))));
        runner.Run(2);
    }
    unsetenv("VASTREL_SANDBOX_PROBE");

    EXPECT_EQ(root.ReadLines("probe.txt"), (std::vector<std::string>{
                                               "os.execute nil",
                                               "io.popen nil",
                                               "os.exit nil",
                                               "os.getenv seen",
                                               "os.time number",
                                               "loadstring binary nil string",
                                               "loadstring text 2",
                                               "load binary nil",
                                               "load text 42",
                                               "loadfile binary nil",
                                               "loadfile after a first line nil",
                                               "loadfile text 5",
                                               "dofile binary false",
                                               "dofile text 5",
                                               "os.remove true",
                                           }));
    // The precompiled script file never ran and was taken out like one with a syntax error; the
    // one after it in the list ran.
    EXPECT_FALSE(root.Exists("dumped-ran.txt"));
    EXPECT_TRUE(dumped->IsKilled());
    EXPECT_TRUE(root.Exists("after-ran.txt"));
    // Each refusal left a line in the log, the script file's naming the script.
    const std::string text = log.Text();
    EXPECT_NE(text.find("dumped: binary chunks are refused\n"), std::string::npos) << text;
    for (const char* loader : {"loadstring: ", "load: ", "chunk.bin: "})
        EXPECT_NE(text.find(std::string(loader) + "binary chunks are refused\n"), std::string::npos) << loader;
    dumped.Reset();
    CPManagedObject::CollectGarbage();
}

} // namespace
